#include "waveform/WaveformPeaks.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

#include <sndfile.h>

#include "audio/SoundFile.h"

namespace
{
// Large enough that the decoder, not the call, sets the pace; small enough to stay in the cache.
constexpr sf_count_t blockFrames = 8192;
constexpr int largestChannelCount = 8;
// Wider than any screen; a larger request is a mistake that must not allocate gigabytes.
constexpr int largestColumnCount = 1 << 15;

// Folds `count` interleaved frames into the running extremes of each channel. The channel count
// is a constant for mono and stereo, so the extremes stay in registers: otherwise this loop costs
// a sixth of the decoding.
template <int Channels>
void FoldFrames(const float *pSample, qint64 count, float *pLow, float *pHigh)
{
    float low[Channels];
    float high[Channels];
    std::copy(pLow, pLow + Channels, low);
    std::copy(pHigh, pHigh + Channels, high);
    for (qint64 i = 0; i < count; ++i, pSample += Channels) {
        for (int channel = 0; channel < Channels; ++channel) {
            low[channel] = std::min(low[channel], pSample[channel]);
            high[channel] = std::max(high[channel], pSample[channel]);
        }
    }
    std::copy(low, low + Channels, pLow);
    std::copy(high, high + Channels, pHigh);
}

void FoldFrames(int channels, const float *pSample, qint64 count, float *pLow, float *pHigh)
{
    if (channels == 1)
        return FoldFrames<1>(pSample, count, pLow, pHigh);
    if (channels == 2)
        return FoldFrames<2>(pSample, count, pLow, pHigh);
    for (qint64 i = 0; i < count; ++i) {
        for (int channel = 0; channel < channels; ++channel, ++pSample) {
            pLow[channel] = std::min(pLow[channel], *pSample);
            pHigh[channel] = std::max(pHigh[channel], *pSample);
        }
    }
}

// The first frame after column `column` when `frames` frames are split into `columns` columns.
qint64 ColumnEnd(qint64 column, qint64 frames, qint64 columns)
{
    return (column + 1) * frames / columns;
}
}

qint64 WaveformPeaks::LengthMilliseconds() const
{
    return sampleRate > 0 ? frames * 1000 / sampleRate : 0;
}

WaveformPeaks WaveformPeaks::Compute(const QString &filePath, int columns, const std::atomic<bool> *pCancelled)
{
    WaveformPeaks peaks;
    // Only a plain file: opening a pipe would block the worker for good.
    if (!QFileInfo(filePath).isFile()) {
        peaks.error = QStringLiteral("The file cannot be found.");
        return peaks;
    }
    SF_INFO info {};
    OpenedSoundFile opened = OpenSoundFile(QFile::encodeName(filePath), SFM_READ, &info);
    if (!opened.file) {
        peaks.error = QStringLiteral("The file cannot be read: ") + opened.errorText;
        return peaks;
    }
    const SndFilePtr file = std::move(opened.file);
    if (info.channels < 1 || info.channels > largestChannelCount || info.samplerate <= 0 || info.frames < 0) {
        peaks.error = QStringLiteral("The file's format is not supported.");
        return peaks;
    }
    peaks.channels = info.channels;
    peaks.sampleRate = info.samplerate;
    peaks.frames = info.frames;
    peaks.columns = int(std::min<qint64>(std::clamp(columns, 1, largestColumnCount), info.frames));
    const std::size_t slotCount = std::size_t(peaks.channels) * std::size_t(peaks.columns);
    peaks.minima.assign(slotCount, 0.0f);
    peaks.maxima.assign(slotCount, 0.0f);
    if (peaks.columns == 0) {
        peaks.error.clear();
        return peaks;
    }

    std::vector<float> block(std::size_t(blockFrames) * std::size_t(info.channels));
    const int channels = info.channels;
    qint64 column = 0;
    qint64 columnEnd = ColumnEnd(0, peaks.frames, peaks.columns);
    qint64 frame = 0;
    bool bColumnStarted = false;
    // Per channel, the extremes of the column being read; written out when the column ends.
    std::vector<float> low(std::size_t(channels), 0.0f);
    std::vector<float> high(std::size_t(channels), 0.0f);
    const auto finishColumn = [&] {
        for (int channel = 0; channel < channels; ++channel) {
            peaks.minima[peaks.Slot(channel, int(column))] = low[std::size_t(channel)];
            peaks.maxima[peaks.Slot(channel, int(column))] = high[std::size_t(channel)];
        }
        bColumnStarted = false;
    };

    for (;;) {
        if (pCancelled && pCancelled->load(std::memory_order_relaxed)) {
            peaks.error = QStringLiteral("Cancelled.");
            return peaks;
        }
        const sf_count_t read = sf_readf_float(file.get(), block.data(), blockFrames);
        if (read <= 0)
            break;
        const float *pSample = block.data();
        for (sf_count_t done = 0; done < read;) {
            // A decoder may deliver more frames than the header promised: they go to the last column.
            const qint64 run = column + 1 < peaks.columns ? std::min<qint64>(read - done, columnEnd - frame) : read - done;
            if (!bColumnStarted) {
                std::copy(pSample, pSample + channels, low.begin());
                std::copy(pSample, pSample + channels, high.begin());
                bColumnStarted = true;
            }
            FoldFrames(channels, pSample, run, low.data(), high.data());
            pSample += run * channels;
            done += run;
            frame += run;
            if (frame >= columnEnd && column + 1 < peaks.columns) {
                finishColumn();
                ++column;
                columnEnd = ColumnEnd(column, peaks.frames, peaks.columns);
            }
        }
    }
    if (bColumnStarted)
        finishColumn();
    peaks.error.clear();
    return peaks;
}
