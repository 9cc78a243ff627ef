#pragma once
#include <QString>

#include <atomic>
#include <vector>

// The outline of a sound file: the lowest and highest sample of each channel in each column, the
// file's frames split into columns of (nearly) equal length. A plain value; computing it decodes
// the whole file, so it belongs on a worker thread.
class WaveformPeaks
{
public:
    // Asks for `columns` columns and gets as many, or one per frame for a file with fewer frames.
    // An unreadable file gives an invalid outline whose Error() says why; a raised `pCancelled`
    // stops the decoding early and gives an invalid outline too.
    static WaveformPeaks Compute(const QString &filePath, int columns, const std::atomic<bool> *pCancelled = nullptr);

    bool IsValid() const { return error.isEmpty(); }
    const QString &Error() const { return error; }
    int Channels() const { return channels; }
    int Columns() const { return columns; }
    int SampleRate() const { return sampleRate; }
    qint64 Frames() const { return frames; }
    qint64 LengthMilliseconds() const;

    // Samples in -1..1; 0 for a column the file ended before.
    float Minimum(int channel, int column) const { return minima[Slot(channel, column)]; }
    float Maximum(int channel, int column) const { return maxima[Slot(channel, column)]; }

private:
    std::size_t Slot(int channel, int column) const { return std::size_t(channel) * std::size_t(columns) + std::size_t(column); }

    QString error = QStringLiteral("Nothing computed.");
    int channels = 0;
    int columns = 0;
    int sampleRate = 0;
    qint64 frames = 0;
    std::vector<float> minima;  // channel by channel, column by column
    std::vector<float> maxima;
};
