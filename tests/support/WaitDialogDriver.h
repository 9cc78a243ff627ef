#pragma once
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tool/WaitDialog.h"

// Plays the user at each wait dialog that goes modal while it lives: notes its title, then
// presses "&Abort" or Escape once bReady says so (e.g. once the tool has started its work). It
// acts on every dialog it sees, so a test that expects none still ends instead of waiting for ever.
class WaitDialogDriver
{
public:
    explicit WaitDialogDriver(bool bEscape, std::function<bool()> bReady = [] { return true; })
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, bEscape, bReady] {
            auto *dialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog == lastDialog || !bReady())
                return;
            lastDialog = dialog;
            titles << dialog->windowTitle();
            if (bEscape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->findChild<QPushButton *>()->click();
        });
        timer.start(20);
    }

    QStringList titles;

private:
    QTimer timer;
    QPointer<WaitDialog> lastDialog;
};
