#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

// Sound files for the audio tests and benchmarks: a tone whose every sample can be recomputed, in
// whatever container, encoding, rate and channel count is needed.
namespace TestTones
{
// 441 Hz (exactly 100 frames at 44.1 kHz) with a phase that keeps every sample away from 0, so
// silence and tone never mix up; the second channel is at half level, so a swap shows.
inline float Sample(qint64 frame, int channel, int rate = 44100)
{
    return float((channel == 0 ? 0.5 : 0.25) * std::sin(2.0 * M_PI * 441.0 * double(frame) / rate + 0.25));
}

// format is an SF_FORMAT_* combination; quality (0..1, Vorbis only) trades size for encoding time;
// signal gives the sample of a frame and channel instead of the tone.
inline bool Write(const QString &path, int format, qint64 frames, int rate = 44100, int channels = 2,
                  double quality = 0.4, const std::function<float(qint64, int)> &signal = {})
{
    SF_INFO info {0, rate, channels, format, 0, 0};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info),
                                                            &sf_close);
    if (!file)
        return false;
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS)
        sf_command(file.get(), SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    std::vector<float> block(std::size_t(4096 * channels));
    for (qint64 start = 0; start < frames; start += 4096) {
        const qint64 count = std::min<qint64>(4096, frames - start);
        for (qint64 sample = 0; sample < count * channels; ++sample)
            block[std::size_t(sample)] = signal ? signal(start + sample / channels, int(sample % channels))
                                                : Sample(start + sample / channels, int(sample % channels), rate);
        if (sf_writef_float(file.get(), block.data(), count) != count)
            return false;
    }
    return true;
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}
