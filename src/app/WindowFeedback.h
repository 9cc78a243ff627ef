#pragma once
#include "app/archive/OperationFeedback.h"

class QWidget;

// The window's side of an operation's feedback: the conversion progress box and the boxes over the window.
class WindowFeedback : public OperationFeedback
{
public:
    explicit WindowFeedback(QWidget *pParent);

    AudioConverter::Result Convert(const QString &source, const QString &target, const AudioForm &form) override;
    void Inform(const QString &title, const QString &text) override;
    void Fail(const QString &text) override;

private:
    QWidget *parent = nullptr;
};
