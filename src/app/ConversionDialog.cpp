#include "app/ConversionDialog.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>

ConversionDialog::ConversionDialog(QWidget *pParent) : QProgressDialog(pParent)
{
    setWindowTitle(tr("Please wait"));
    setLabelText(tr("Converting the chosen file..."));
    setCancelButtonText(tr("&Abort"));
    setRange(0, 100);
    // Modal to the window: a second Replace must not start while this one writes beside the entry.
    setWindowModality(Qt::WindowModal);
    setMinimumDuration(300);
    setAutoClose(false);
    setAutoReset(false);
}

AudioConverter::Result ConversionDialog::Run(const QString &source, const QString &target, const AudioForm &form)
{
    std::atomic_bool bCancel {false};
    std::atomic_int percent {0};
    AudioConverter::Result result;
    // An exception must not leave the worker: it would end the program with the user's work.
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            result = AudioConverter::Convert(source, target, form, bCancel, [&percent](int value) { percent = value; });
        } catch (const std::exception &error) {
            result = {AudioConverter::Outcome::Failed, QStringLiteral("The conversion failed: ") + QString::fromLocal8Bit(error.what())};
        }
    }));

    QEventLoop loop;
    // Queued from the worker, so a conversion that ends before exec() still ends the loop.
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    connect(this, &QProgressDialog::canceled, &loop, [&bCancel] { bCancel = true; });
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [this, &percent] { setValue(percent); });
    worker->start();
    poll.start(50);
    loop.exec();
    worker->wait();
    hide();
    return result;
}
