#pragma once
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tool/WaitDialog.h"

// Plays the user at each wait dialog that goes modal while it lives: notes its title and text,
// then presses "&Abort" or Escape, once bReady says so (e.g. once the tool has started its work).
// It acts on every dialog it sees, so a test that expects none still ends instead of waiting
// for ever.
class WaitDialogDriver
{
public:
    enum class Action { Abort, Escape };

    explicit WaitDialogDriver(Action action, std::function<bool()> bReady = [] { return true; })
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, action, bReady] {
            auto *dialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog == lastDialog || !bReady())
                return;
            lastDialog = dialog;
            ++seen;
            title = dialog->windowTitle();
            if (auto *label = dialog->findChild<QLabel *>())
                text = label->text();
            if (action == Action::Escape) {
                QTest::keyClick(dialog, Qt::Key_Escape);
                return;
            }
            const auto buttons = dialog->findChildren<QPushButton *>();
            for (QPushButton *button : buttons) {
                if (button->text() == QLatin1String("&Abort"))
                    button->click();
            }
        });
        timer.start();
    }

    int seen = 0;
    QString title;
    QString text;

private:
    QTimer timer;
    QPointer<WaitDialog> lastDialog;
};
