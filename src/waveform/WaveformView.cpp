#include "waveform/WaveformView.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>

#include "player/FModPlayerWidget.h"
#include "waveform/WaveformPeakCache.h"
#include "waveform/WaveformPeaks.h"

namespace
{
constexpr int margin = 4;   // logical pixels around the corner texts

QString LengthAndRate(const WaveformPeaks &peaks)
{
    const qint64 milliseconds = peaks.LengthMilliseconds();
    // Short sounds differ by fractions of a second; tracks read like the player's clock.
    const QString length = milliseconds < 60000 ? QString::number(double(milliseconds) / 1000.0, 'f', 2) + QStringLiteral(" s")
                                                : FModPlayerWidget::FormatTime(uint(std::min<qint64>(milliseconds, UINT_MAX)));
    return length + QStringLiteral(" \u00b7 ") + QString::number(peaks.SampleRate()) + QStringLiteral(" Hz");
}
}

WaveformView::WaveformView(QWidget *pParent)
    : QWidget(pParent), cache(new WaveformPeakCache(this)), watcher(new QFileSystemWatcher(this))
{
    setObjectName(QStringLiteral("waveformView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resizeTimer.setSingleShot(true);
    resizeTimer.setInterval(120);
    connect(&resizeTimer, &QTimer::timeout, this, [this] { RequestOutlines(); });
    connect(cache, &WaveformPeakCache::PeaksReady, this, &WaveformView::TakeOutline);
    // A file replaced on disk keeps its path: forget its outline and draw it anew.
    connect(watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString &path) {
        cache->Invalidate(path);
        WatchFile();
        resizeTimer.start();
    });
    // A file away for a while (a first replace keeps the old one elsewhere while the new one is
    // converted) is drawn again once a file stands under its name.
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        WatchFile();
        resizeTimer.start();
    });
}

QSize WaveformView::sizeHint() const
{
    return {400, 96};
}

QSize WaveformView::minimumSizeHint() const
{
    return {100, 48};
}

void WaveformView::SetEntry(const QString &newFilePath, qint64 newLoopStart, const QString &newBehindPath)
{
    const bool bSameFiles = newFilePath == filePath && newBehindPath == behindPath;
    filePath = newFilePath;
    behindPath = newBehindPath;
    loopStart = newLoopStart;
    playPosition = -1;
    if (!bSameFiles) {
        peaks.reset();
        behindPeaks.reset();
        WatchFile();
        RequestOutlines();
    }
    update();
}

void WaveformView::SetNote(const QString &text)
{
    note = text;
    update();
}

qint64 WaveformView::FrameAt(int x) const
{
    if (!peaks || !peaks->IsValid() || width() <= 0)
        return -1;
    return std::clamp<qint64>(qint64(x) * peaks->Frames() / width(), 0, std::max<qint64>(0, peaks->Frames() - 1));
}

void WaveformView::SetPlayPosition(uint milliseconds)
{
    if (filePath.isEmpty() || playPosition == qint64(milliseconds))
        return;
    playPosition = milliseconds;
    update();
}

void WaveformView::HidePlayPosition()
{
    if (playPosition < 0)
        return;
    playPosition = -1;
    update();
}

int WaveformView::DeviceColumns() const
{
    return std::max(1, int(std::lround(width() * devicePixelRatioF())));
}

void WaveformView::RequestOutlines()
{
    if (filePath.isEmpty())
        return;
    const int columns = DeviceColumns();
    if (auto kept = cache->Request(filePath, columns))
        TakeOutline(filePath, columns, kept);
}

void WaveformView::TakeOutline(const QString &path, int columns, const std::shared_ptr<const WaveformPeaks> &outline)
{
    if (columns != DeviceColumns())
        return;
    if (path == filePath) {
        peaks = outline;
        // One computation at a time: the outline behind waits until the front one is there.
        if (!behindPath.isEmpty()) {
            if (auto kept = cache->Request(behindPath, columns))
                behindPeaks = kept;
        }
    } else if (path == behindPath) {
        behindPeaks = outline;
    } else {
        return;
    }
    update();
}

void WaveformView::WatchFile()
{
    const QStringList watched = watcher->files() + watcher->directories();
    if (!watched.isEmpty())
        watcher->removePaths(watched);
    for (const QString &path : {filePath, behindPath}) {
        const QFileInfo info(path);
        if (!path.isEmpty())
            watcher->addPath(info.isFile() ? path : info.absolutePath());
    }
}

void WaveformView::resizeEvent(QResizeEvent *pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (!filePath.isEmpty())
        resizeTimer.start();
}

void WaveformView::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton || playPosition < 0 || !peaks || !peaks->IsValid() || width() <= 0)
        return QWidget::mousePressEvent(pEvent);
    const double fraction = std::clamp(pEvent->position().x() / width(), 0.0, 1.0);
    const auto milliseconds = uint(std::lround(fraction * double(peaks->LengthMilliseconds())));
    playPosition = milliseconds;
    update();
    emit SeekRequested(milliseconds);
}

void WaveformView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (filePath.isEmpty() || width() <= 0 || height() <= 0)
        return;
    if (!peaks || !peaks->IsValid()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter, peaks ? peaks->Error() : QStringLiteral("Reading the file\u2026"));
        return;
    }
    // The outline in device pixels, one column each, so it stays sharp at any scale.
    const qreal ratio = devicePixelRatioF();
    const int deviceWidth = int(std::lround(width() * ratio));
    const int deviceHeight = int(std::lround(height() * ratio));
    painter.save();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    if (behindPeaks && behindPeaks->IsValid()) {
        QColor faint = palette().color(QPalette::Text);
        faint.setAlphaF(0.25f);
        PaintOutline(painter, *behindPeaks, faint, deviceWidth, deviceHeight);
    }
    PaintOutline(painter, *peaks, palette().color(QPalette::Highlight), deviceWidth, deviceHeight);
    painter.restore();
    PaintMarks(painter, *peaks);
}

void WaveformView::PaintOutline(QPainter &painter, const WaveformPeaks &outline, const QColor &color, int deviceWidth,
                                int deviceHeight) const
{
    const int columns = outline.Columns();
    const int lanes = outline.Channels();
    if (columns <= 0 || lanes <= 0)
        return;
    const QColor axis = palette().color(QPalette::Mid);
    for (int lane = 0; lane < lanes; ++lane) {
        const int top = int(qint64(lane) * deviceHeight / lanes);
        const int bottom = int(qint64(lane + 1) * deviceHeight / lanes);
        const int middle = (top + bottom) / 2;
        const int half = std::max(1, (bottom - top) / 2 - 1);
        painter.fillRect(0, middle, deviceWidth, 1, axis);
        for (int column = 0; column < columns; ++column) {
            const int left = int(qint64(column) * deviceWidth / columns);
            const int right = std::max(left + 1, int(qint64(column + 1) * deviceWidth / columns));
            const float high = std::clamp(outline.Maximum(lane, column), -1.0f, 1.0f);
            const float low = std::clamp(outline.Minimum(lane, column), -1.0f, 1.0f);
            const int y = middle - int(std::lround(high * float(half)));
            const int yLow = middle - int(std::lround(low * float(half)));
            painter.fillRect(left, y, right - left, yLow - y + 1, color);
        }
    }
}

void WaveformView::PaintMarks(QPainter &painter, const WaveformPeaks &outline) const
{
    const QFontMetrics metrics(font());
    if (loopStart >= 0 && loopStart < outline.Frames()) {
        const int x = int(loopStart * width() / outline.Frames());
        painter.setPen(palette().color(QPalette::Link));
        painter.drawLine(x, 0, x, height());
        const QString label = QStringLiteral("Loop");
        // The label sits right of the line unless that runs off the strip.
        const int labelX = x + margin + metrics.horizontalAdvance(label) < width() ? x + margin
                                                                                  : x - margin - metrics.horizontalAdvance(label);
        painter.drawText(labelX, metrics.ascent() + margin / 2, label);
    }
    const qint64 length = outline.LengthMilliseconds();
    if (playPosition >= 0 && length > 0) {
        const int x = int(std::min(playPosition, length) * width() / length);
        painter.setPen(QPen(palette().color(QPalette::Text), 2));
        painter.drawLine(x, 0, x, height());
    }
    const QString text = (note.isEmpty() ? QString() : note + QStringLiteral(" \u00b7 ")) + LengthAndRate(outline);
    QRect corner = metrics.boundingRect(text).adjusted(-margin, 0, margin, 0);
    corner.moveBottomRight(rect().bottomRight());
    painter.fillRect(corner, palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(corner, Qt::AlignCenter, text);
}
