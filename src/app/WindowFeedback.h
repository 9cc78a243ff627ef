#pragma once
#include "app/archive/OperationFeedback.h"

#include <memory>

class QProgressDialog;
class QWidget;

// The window's side of an operation's feedback: the conversion progress box and the boxes over the window.
class WindowFeedback : public OperationFeedback
{
public:
    explicit WindowFeedback(QWidget *pParent);
    ~WindowFeedback() override;

    AudioConverter::Result Convert(const QString &source, const QString &target, const AudioForm &form) override;
    void Inform(const QString &title, const QString &text) override;
    void Fail(const QString &text) override;
    void Warn(const QString &title, const QString &text) override;
    bool Ask(const QString &title, const QString &question) override;
    bool Confirm(const QString &title, const QString &question) override;
    bool Step(int done, int total, const QString &label) override;

private:
    QWidget *parent = nullptr;
    std::unique_ptr<QProgressDialog> progress;  // made at the first step
};
