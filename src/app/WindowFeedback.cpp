#include "app/WindowFeedback.h"

#include "app/ConversionDialog.h"

AudioConverter::Result WindowFeedback::Convert(const QString &source, const QString &target, const AudioForm &form)
{
    ConversionDialog dialog(parent);
    return dialog.Run(source, target, form);
}
