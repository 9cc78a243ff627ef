#include "app/WindowFeedback.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include "app/ConversionDialog.h"
#include "dialogs/UserDialogs.h"

WindowFeedback::WindowFeedback(QWidget *pParent) : parent(pParent)
{
}

WindowFeedback::~WindowFeedback() = default;

AudioConverter::Result WindowFeedback::Convert(const QString &source, const QString &target, const AudioForm &form)
{
    ConversionDialog dialog(parent);
    return dialog.Run(source, target, form);
}

void WindowFeedback::Inform(const QString &title, const QString &text)
{
    UserDialogs::Information(parent, title, text);
}

void WindowFeedback::Fail(const QString &text)
{
    UserDialogs::Critical(parent, QStringLiteral("Error"), text);
}

void WindowFeedback::Warn(const QString &title, const QString &text)
{
    UserDialogs::Warning(parent, title, text);
}

bool WindowFeedback::Ask(const QString &title, const QString &question)
{
    return UserDialogs::Question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool WindowFeedback::Confirm(const QString &title, const QString &question)
{
    return UserDialogs::Warning(parent, title, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool WindowFeedback::Step(int done, int total, const QString &label)
{
    if (!progress) {
        // Shown at once: the entries go in one after another, and "&Abort" must be there from the first.
        progress = std::make_unique<QProgressDialog>(QStringLiteral("Replacing entries..."), QStringLiteral("&Abort"), 0,
                                                     total, parent);
        progress->setObjectName(QStringLiteral("folderReplaceProgress"));
        progress->setWindowTitle(QStringLiteral("Please wait"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setAutoClose(false);
        progress->setAutoReset(false);
        progress->setMinimumDuration(0);
        progress->show();
    }
    progress->setValue(done);
    if (done == total) {
        progress->hide();
        return true;
    }
    QCoreApplication::processEvents();
    progress->setLabelText(label);
    return !progress->wasCanceled();
}
