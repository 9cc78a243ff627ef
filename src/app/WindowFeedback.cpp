#include "app/WindowFeedback.h"

#include "app/ConversionDialog.h"
#include "dialogs/UserDialogs.h"

WindowFeedback::WindowFeedback(QWidget *pParent) : parent(pParent)
{
}

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
