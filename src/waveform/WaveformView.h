#pragma once
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class QFileSystemWatcher;
class WaveformPeakCache;
class WaveformPeaks;

// The painted outline of one sound file, every channel in a lane of its own, with the loop start,
// the length and rate, and (while that file plays) the play position, where a click asks to seek.
// A second file may be drawn faintly behind, for comparing a sound with the one it replaced.
// Owns the outline cache and a watcher that redraws when the shown file changes on disk.
class WaveformView : public QWidget
{
    Q_OBJECT
public:
    explicit WaveformView(QWidget *pParent = nullptr);

    // Shows `filePath` (empty: nothing). `loopStart` is the first looped frame, -1 for none;
    // `behindPath` is drawn faintly behind, empty for none. Hides the play position.
    void SetEntry(const QString &filePath, qint64 loopStart = -1, const QString &behindPath = QString());
    const QString &FilePath() const { return filePath; }
    // The shown file's outline as painted, null until it is computed.
    std::shared_ptr<const WaveformPeaks> Outline() const { return peaks; }
    WaveformPeakCache &Cache() { return *cache; }
    bool ShowsPlayPosition() const { return playPosition >= 0; }
    // A line the corner shows before the length and rate; empty for none.
    void SetNote(const QString &text);
    const QString &Note() const { return note; }
    // The frame of the shown file under x; -1 while no outline is shown.
    qint64 FrameAt(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void SetPlayPosition(uint milliseconds);    // shows the line; clicks then seek
    void HidePlayPosition();                    // no line; clicks do nothing

signals:
    void SeekRequested(uint milliseconds);      // a click while the play position shows

protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;

private:
    int DeviceColumns() const;
    void RequestOutlines();
    void TakeOutline(const QString &path, int columns, const std::shared_ptr<const WaveformPeaks> &peaks);
    void WatchFile();
    void PaintOutline(QPainter &painter, const WaveformPeaks &peaks, const QColor &color, int width, int height) const;
    void PaintMarks(QPainter &painter, const WaveformPeaks &peaks) const;

    WaveformPeakCache *cache = nullptr;         // child of this
    QFileSystemWatcher *watcher = nullptr;      // child of this
    QTimer resizeTimer;                         // a window dragged wider asks for one outline, not fifty
    QString filePath;
    QString behindPath;
    QString note;
    qint64 loopStart = -1;
    qint64 playPosition = -1;                   // ms; -1 while the shown file is not playing
    std::shared_ptr<const WaveformPeaks> peaks;        // may be of another width until the new one comes
    std::shared_ptr<const WaveformPeaks> behindPeaks;
};
