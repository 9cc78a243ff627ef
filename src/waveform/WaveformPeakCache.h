#pragma once
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <list>
#include <memory>

class WaveformPeaks;

// Computes outlines of sound files on a worker thread of its own, one at a time, and keeps the
// latest few. An outline counts only while its file keeps the size and modification time it had
// when the outline was asked for, so a file replaced on disk is decoded again without anyone
// having to say so. Owns the worker; its destructor waits for it.
class WaveformPeakCache : public QObject
{
    Q_OBJECT
public:
    explicit WaveformPeakCache(QObject *pParent = nullptr);
    ~WaveformPeakCache() override;

    // The outline when a current one is kept. Otherwise null: the computation starts (unless it
    // is already running), any other running one is cancelled, and PeaksReady follows.
    std::shared_ptr<const WaveformPeaks> Request(const QString &filePath, int columns);
    void Invalidate(const QString &filePath);   // forgets every outline of the file

    bool IsBusy() const;                        // a computation is running or waiting to run
    int KeptCount() const;
    void WaitForIdle();                         // blocks until the worker is idle; its result is delivered

signals:
    // Also for an unreadable file (the outline is invalid then); never for a cancelled computation.
    void PeaksReady(const QString &filePath, int columns, std::shared_ptr<const WaveformPeaks> peaks);

private:
    struct FileStamp
    {
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const FileStamp &other) const { return size == other.size && modified == other.modified; }
    };
    struct Kept
    {
        QString filePath;
        int columns = 0;
        FileStamp stamp;
        std::shared_ptr<const WaveformPeaks> peaks;
    };

    static FileStamp StampOf(const QString &filePath);
    void Deliver(const Kept &computed, const std::atomic<bool> &cancelled);
    void CancelRunning();

    std::list<Kept> kept;                       // the most recently used first
    QThreadPool worker;
    std::atomic<int> pending {0};               // computations started and not yet finished
    std::shared_ptr<std::atomic<bool>> runningCancelled;
    QString runningPath;
    int runningColumns = 0;
    FileStamp runningStamp;
};
