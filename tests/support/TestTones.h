#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// Writes sound files for the audio tests with libsndfile: a known tone whose every sample can be
// recomputed, in whatever container, encoding, rate and channel count a test needs.
namespace TestTones
{
// Frame `frame`, channel `channel` of the tone: 441 Hz (a period of exactly 100 frames at
// 44.1 kHz) with a phase that keeps every sample away from 0, so silence and tone never mix up;
// the second channel is the first at half level, so a swap shows.
inline float Sample(qint64 frame, int channel, int rate = 44100)
{
    const double level = channel == 0 ? 0.5 : 0.25;
    return float(level * std::sin(2.0 * M_PI * 441.0 * double(frame) / rate + 0.25));
}

struct SndFileCloser
{
    void operator()(SNDFILE *pFile) const { sf_close(pFile); }
};

// Writes `frames` frames of the tone; format is an SF_FORMAT_* combination. quality (0..1, Vorbis
// only) trades size and encoding time.
inline bool Write(const QString &path, int format, qint64 frames, int rate = 44100, int channels = 2,
                  double quality = 0.4)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(name.constData(), SFM_WRITE, &info));
    if (!file)
        return false;
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS)
        sf_command(file.get(), SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    constexpr qint64 blockFrames = 4096;
    std::vector<float> block(std::size_t(blockFrames * channels));
    for (qint64 start = 0; start < frames; start += blockFrames) {
        const qint64 count = std::min(blockFrames, frames - start);
        for (qint64 frame = 0; frame < count; ++frame)
            for (int channel = 0; channel < channels; ++channel)
                block[std::size_t(frame * channels + channel)] = Sample(start + frame, channel, rate);
        if (sf_writef_float(file.get(), block.data(), count) != count)
            return false;
    }
    return true;
}

// A float WAV at the output's own rate and layout: decoded and mixed without any conversion, so
// the output can be compared sample by sample.
inline bool WriteExact(const QString &path, qint64 frames) { return Write(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, frames); }

inline bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
}
