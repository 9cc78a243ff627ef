#pragma once
#include "app/archive/OperationFeedback.h"

class QWidget;

// The window's side of an operation's feedback: the conversion progress box over the window.
class WindowFeedback : public OperationFeedback
{
public:
    explicit WindowFeedback(QWidget *pParent);

    AudioConverter::Result Convert(const QString &source, const QString &target, const AudioForm &form) override;

private:
    QWidget *parent = nullptr;
};
