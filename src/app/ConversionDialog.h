#pragma once
#include <QProgressDialog>

#include "audio/AudioConverter.h"

// The progress box of one conversion, with "&Abort". It runs the conversion on a worker thread
// and keeps the event loop turning meanwhile, so the window stays responsive.
class ConversionDialog : public QProgressDialog
{
    Q_OBJECT
public:
    explicit ConversionDialog(QWidget *pParent = nullptr);

    // Returns once the worker is done; after "&Abort" the outcome is Aborted and the target as it was.
    AudioConverter::Result Run(const QString &source, const QString &target, const AudioForm &form);
};
