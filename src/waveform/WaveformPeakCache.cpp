#include "waveform/WaveformPeakCache.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>

#include <algorithm>

#include "waveform/WaveformPeaks.h"

namespace
{
// Enough to step back and forth among neighbouring entries without decoding again; at a few
// hundred kilobytes an outline at most, small beside the program.
constexpr std::size_t keptLimit = 24;
}

WaveformPeakCache::WaveformPeakCache(QObject *pParent) : QObject(pParent)
{
    // One decoder at a time: a new selection cancels the old one, and a second thread would only
    // take the CPU from the player.
    worker.setMaxThreadCount(1);
}

WaveformPeakCache::~WaveformPeakCache()
{
    CancelRunning();
    worker.waitForDone();
}

WaveformPeakCache::FileStamp WaveformPeakCache::StampOf(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (!info.isFile())
        return {};
    return {info.size(), info.lastModified()};
}

std::shared_ptr<const WaveformPeaks> WaveformPeakCache::Request(const QString &filePath, int columns)
{
    const FileStamp stamp = StampOf(filePath);
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        if (it->filePath != filePath || it->columns != columns)
            continue;
        if (!(it->stamp == stamp)) {
            kept.erase(it);
            break;
        }
        kept.splice(kept.begin(), kept, it);
        return it->peaks;
    }
    if (runningCancelled && runningPath == filePath && runningColumns == columns && runningStamp == stamp)
        return nullptr;

    CancelRunning();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    runningCancelled = cancelled;
    runningPath = filePath;
    runningColumns = columns;
    runningStamp = stamp;
    ++pending;
    worker.start([this, cancelled, computed = Kept {filePath, columns, stamp, nullptr}]() mutable {
        computed.peaks = std::make_shared<const WaveformPeaks>(WaveformPeaks::Compute(computed.filePath, computed.columns,
                                                                                      cancelled.get()));
        if (!cancelled->load())
            QMetaObject::invokeMethod(this, [this, computed, cancelled] { Deliver(computed, *cancelled); },
                                      Qt::QueuedConnection);
        --pending;
    });
    return nullptr;
}

void WaveformPeakCache::Deliver(const Kept &computed, const std::atomic<bool> &cancelled)
{
    // The worker may finish just before a new selection or a replaced file cancels it; its result
    // then waits in the event queue and must neither be shown nor kept (the file may have changed).
    if (cancelled.load())
        return;
    if (runningPath == computed.filePath && runningColumns == computed.columns && runningStamp == computed.stamp) {
        runningCancelled.reset();
        runningPath.clear();
    }
    // A failure is not kept: the file may be readable at the next look.
    if (computed.peaks->IsValid()) {
        kept.push_front(computed);
        if (kept.size() > keptLimit)
            kept.pop_back();
    }
    emit PeaksReady(computed.filePath, computed.columns, computed.peaks);
}

void WaveformPeakCache::CancelRunning()
{
    if (runningCancelled)
        runningCancelled->store(true);
    runningCancelled.reset();
    runningPath.clear();
}

void WaveformPeakCache::Invalidate(const QString &filePath)
{
    kept.remove_if([&](const Kept &entry) { return entry.filePath == filePath; });
    if (runningPath == filePath)
        CancelRunning();
}

bool WaveformPeakCache::IsBusy() const
{
    return pending.load() > 0;
}

int WaveformPeakCache::KeptCount() const
{
    return int(kept.size());
}

void WaveformPeakCache::WaitForIdle()
{
    worker.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
