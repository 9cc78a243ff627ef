#include "audio/AudioConverter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <sndfile.h>
#include <soxr.h>

#include "audio/LoudnessMeter.h"
#include "audio/SoundFile.h"

namespace
{
constexpr sf_count_t blockFrames = 8192;
constexpr double vorbisQuality = 0.4;
// Beyond these a rate or channel count comes from a damaged file, not from audio anyone plays.
constexpr int maxSampleRate = 768000;
constexpr int maxChannels = 255;
// A measured source is kept in memory up to this many samples (about 12 minutes of 48 kHz stereo)
// and written from there; a longer one is decoded a second time instead.
constexpr std::size_t maxKeptSamples = std::size_t(64) << 20;

struct SoxrDeleter
{
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

OpenedSoundFile OpenForReading(const QString &path, SF_INFO &info)
{
    info = SF_INFO {};
    return OpenSoundFile(QFile::encodeName(path), SFM_READ, &info);
}

// Sources of at most 16 bits carry nothing a 16-bit target would lose, so they need no dither
// unless mixing or resampling makes new in-between values.
bool AtMostSixteenBits(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

// Maps interleaved frames from one channel count to another: one output channel is the average
// of every input channel; more outputs than inputs repeat the inputs; fewer fold them together.
void MapChannels(const float *pIn, sf_count_t frames, int inChannels, float *pOut, int outChannels)
{
    for (sf_count_t frame = 0; frame < frames; ++frame) {
        const float *in = pIn + frame * inChannels;
        float *out = pOut + frame * outChannels;
        for (int channel = 0; channel < outChannels; ++channel) {
            float sum = 0.0f;
            int count = 0;
            for (int source = channel % inChannels; source < inChannels; source += outChannels) {
                sum += in[source];
                ++count;
            }
            out[channel] = sum / float(count);
        }
    }
}

// The writing end: 16-bit samples with triangular dither for a sound, floats for Vorbis; cut
// after `maxFrames` (0: never) with a fade-out, then scaled by `gain`. Given a meter instead of a
// file, it measures what it would write before the gain and writes nothing; given `pKept` too, it
// also keeps those frames there, unless they pass maxKeptSamples: then it leaves `pKept` empty.
class Sink
{
public:
    Sink(SNDFILE *pFile, int channels, bool bSixteenBit, bool bDither, sf_count_t maxFrames, int sampleRate,
         float gain = 1.0f, LoudnessMeter *pMeter = nullptr, std::vector<float> *pKept = nullptr)
        : file(pFile), channels(channels), bSixteenBit(bSixteenBit), bDither(bDither), maxFrames(maxFrames),
          fadeFrames(std::max(1, sampleRate / 100)), gain(gain), meter(pMeter), kept(pKept)
    {
    }

    bool Full() const { return maxFrames > 0 && written >= maxFrames; }

    bool Write(const float *pFrames, sf_count_t frames)
    {
        if (maxFrames > 0) {
            frames = std::min(frames, maxFrames - written);
            pFrames = FadeOut(pFrames, frames);
        }
        written += frames;
        if (frames == 0)
            return true;
        if (meter) {
            meter->Add(pFrames, std::size_t(frames));
            Keep(pFrames, frames);
            return true;
        }
        pFrames = Scaled(pFrames, frames);
        if (!bSixteenBit)
            return sf_writef_float(file, pFrames, frames) == frames;
        shorts.resize(std::size_t(frames * channels));
        for (std::size_t i = 0; i < shorts.size(); ++i) {
            double value = double(pFrames[i]) * 32768.0;  // the scale libsndfile reads 16-bit samples with
            if (bDither)
                value += unit(random) - unit(random);
            shorts[i] = short(std::clamp(std::lround(value), -32768L, 32767L));
        }
        return sf_writef_short(file, shorts.data(), frames) == frames;
    }

private:
    void Keep(const float *pFrames, sf_count_t frames)
    {
        if (!kept)
            return;
        const auto samples = std::size_t(frames * channels);
        if (kept->size() + samples > maxKeptSamples) {
            std::vector<float>().swap(*kept);
            kept = nullptr;
            return;
        }
        kept->insert(kept->end(), pFrames, pFrames + samples);
    }

    // The frames that follow `written`, faded where they fall into the last fadeFrames before the cut.
    const float *FadeOut(const float *pFrames, sf_count_t frames)
    {
        faded.assign(pFrames, pFrames + frames * channels);
        for (sf_count_t frame = 0; frame < frames; ++frame) {
            const sf_count_t left = maxFrames - written - frame;
            if (left >= fadeFrames)
                continue;
            for (int channel = 0; channel < channels; ++channel)
                faded[std::size_t(frame * channels + channel)] *= float(left) / float(fadeFrames);
        }
        return faded.data();
    }

    const float *Scaled(const float *pFrames, sf_count_t frames)
    {
        if (gain == 1.0f)
            return pFrames;
        scaled.resize(std::size_t(frames * channels));
        std::transform(pFrames, pFrames + frames * channels, scaled.begin(), [this](float sample) { return sample * gain; });
        return scaled.data();
    }

    SNDFILE *file = nullptr;
    int channels = 1;
    bool bSixteenBit = false;
    bool bDither = false;
    sf_count_t maxFrames = 0;
    sf_count_t fadeFrames = 1;
    sf_count_t written = 0;
    float gain = 1.0f;
    LoudnessMeter *meter = nullptr;
    std::vector<float> *kept = nullptr;
    std::vector<float> faded;
    std::vector<float> scaled;
    std::vector<short> shorts;
    std::minstd_rand random {0x5eed};
    std::uniform_real_distribution<double> unit {0.0, 1.0};
};

// libsndfile also reads Ogg files whose first page holds something else (another stream, say);
// the packer takes only files whose first page opens the Vorbis stream.
bool VorbisOpensTheFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(27 + 255 + 7);  // page header, segment table, packet type
    if (head.size() < 28 || !head.startsWith("OggS") || head[4] != 0 || !(head[5] & 0x02))
        return false;
    return head.mid(27 + quint8(head[26]), 7) == QByteArray("\x01vorbis", 7);
}

QString WriteError(SNDFILE *pFile)
{
    return QStringLiteral("Failed to write the converted file: ") + QString::fromLocal8Bit(sf_strerror(pFile));
}

// Streams every frame of `in` through channel mapping and the resampler into `sink`.
AudioConverter::Result Pump(SNDFILE *pIn, const SF_INFO &inInfo, SNDFILE *pOut, Sink &sink, const AudioForm &form,
                            const std::atomic_bool &bCancel, const std::function<void(int)> &progress)
{
    using AudioConverter::Outcome;
    SoxrPtr resampler;
    if (inInfo.samplerate != form.sampleRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        resampler.reset(soxr_create(inInfo.samplerate, form.sampleRate, unsigned(form.channels), &error, &io, &quality, nullptr));
        if (error)
            return {Outcome::Failed, QStringLiteral("The resampler could not start: ") + QString::fromLatin1(error)};
    }
    const double ratio = double(form.sampleRate) / double(inInfo.samplerate);
    // Fewer frames in per block when upsampling, so that a file claiming a tiny rate cannot make
    // the output block huge.
    const sf_count_t inFrames = ratio > 1.0 ? std::max<sf_count_t>(1, sf_count_t(double(blockFrames) / ratio)) : blockFrames;
    const auto outCapacity = sf_count_t(std::ceil(double(inFrames) * ratio)) + 64;
    std::vector<float> read(std::size_t(inFrames * inInfo.channels));
    std::vector<float> mapped(std::size_t(inFrames * form.channels));
    std::vector<float> resampled(std::size_t(outCapacity * form.channels));
    sf_count_t done = 0;
    int lastPercent = -1;
    for (;;) {
        if (bCancel)
            return {Outcome::Aborted, QString()};
        const sf_count_t frames = sf_readf_float(pIn, read.data(), inFrames);
        if (frames < 0 || (frames == 0 && sf_error(pIn) != SF_ERR_NO_ERROR))
            return {Outcome::Failed, QStringLiteral("Failed to read the chosen file: ") + QString::fromLocal8Bit(sf_strerror(pIn))};
        MapChannels(read.data(), frames, inInfo.channels, mapped.data(), form.channels);
        if (!resampler) {
            if (!sink.Write(mapped.data(), frames))
                return {Outcome::Failed, WriteError(pOut)};
        } else {
            // A null input tells the resampler the stream ended; it then gives out what it holds.
            const float *input = frames > 0 ? mapped.data() : nullptr;
            std::size_t consumed = 0;
            do {
                std::size_t taken = 0;
                std::size_t produced = 0;
                const soxr_error_t error = soxr_process(resampler.get(), input ? input + consumed * std::size_t(form.channels) : nullptr,
                                                        std::size_t(frames) - consumed, &taken, resampled.data(),
                                                        std::size_t(outCapacity), &produced);
                if (error)
                    return {Outcome::Failed, QStringLiteral("Resampling failed: ") + QString::fromLatin1(error)};
                if (input && taken == 0 && produced == 0)
                    return {Outcome::Failed, QStringLiteral("Resampling failed: the resampler took no input.")};
                consumed += taken;
                if (!sink.Write(resampled.data(), sf_count_t(produced)))
                    return {Outcome::Failed, WriteError(pOut)};
                if (!input && produced == 0)
                    break;
            } while (!input || consumed < std::size_t(frames));
        }
        if (frames == 0 || sink.Full())
            return {Outcome::Done, QString()};
        done += frames;
        const int percent = inInfo.frames > 0 ? int(std::min<sf_count_t>(100, done * 100 / inInfo.frames)) : 0;
        if (percent != lastPercent && progress) {
            lastPercent = percent;
            progress(percent);
        }
    }
}

// Writes frames kept by a measuring sink, already cut and faded, into `sink`.
AudioConverter::Result WriteKept(const std::vector<float> &kept, SNDFILE *pOut, Sink &sink, int channels,
                                 const std::atomic_bool &bCancel, const std::function<void(int)> &progress)
{
    using AudioConverter::Outcome;
    const std::size_t blockSamples = std::size_t(blockFrames * channels);
    int lastPercent = -1;
    for (std::size_t start = 0; start < kept.size(); start += blockSamples) {
        if (bCancel)
            return {Outcome::Aborted, QString()};
        const std::size_t samples = std::min(blockSamples, kept.size() - start);
        if (!sink.Write(kept.data() + start, sf_count_t(samples) / channels))
            return {Outcome::Failed, WriteError(pOut)};
        const int percent = int((start + samples) * 100 / kept.size());
        if (percent != lastPercent && progress) {
            lastPercent = percent;
            progress(percent);
        }
    }
    return {Outcome::Done, QString()};
}

// Measures `source` as the conversion to `form` will write it, before any gain. Keeps those frames
// in `kept` unless they would pass maxKeptSamples; kept frames are measured with only their
// highest sample as the true peak (see MatchingGain).
AudioConverter::Result MeasureSource(const QString &source, const AudioForm &form, const std::atomic_bool &bCancel,
                                     LoudnessMeter::Level &level, std::vector<float> &kept, bool bKeep = true)
{
    using AudioConverter::Outcome;
    SF_INFO info;
    const OpenedSoundFile opened = OpenForReading(source, info);
    if (!opened.file)
        return {Outcome::Failed, QStringLiteral("The chosen file is not audio that can be read: ") + opened.errorText};
    double frames = double(info.frames) * form.sampleRate / info.samplerate;
    if (form.maxFrames > 0)
        frames = std::min(frames, double(form.maxFrames));
    bKeep = bKeep && info.frames > 0 && frames * form.channels < double(maxKeptSamples);
    LoudnessMeter meter(form.channels, form.sampleRate);
    if (bKeep) {
        // Growing the buffer as it fills would copy it over and over.
        kept.reserve(std::size_t(frames + blockFrames) * std::size_t(form.channels));
        meter.SetTruePeakFloor(std::numeric_limits<double>::infinity());
    }
    Sink measuring(nullptr, form.channels, false, false, form.maxFrames, form.sampleRate, 1.0f, &meter, bKeep ? &kept : nullptr);
    const AudioConverter::Result result = Pump(opened.file.get(), info, nullptr, measuring, form, bCancel, {});
    level = meter.Result();
    // Longer than its header said: measured again in full, without keeping it.
    if (result.outcome == Outcome::Done && bKeep && kept.empty() && level.seconds > 0.0)
        return MeasureSource(source, form, bCancel, level, kept, false);
    return result;
}

// The gain in dB that brings `source`, as the conversion to `form` will write it, to the loudness
// of `form.loudnessReference`; the outcome is Aborted or Failed when measuring the source stopped.
// Fills `kept` as MeasureSource does, so that the source need not be decoded again.
AudioConverter::Result MatchingGain(const QString &source, const AudioForm &form, const std::atomic_bool &bCancel,
                                    std::vector<float> &kept)
{
    using AudioConverter::Outcome;
    // The original is measured on a thread of its own meanwhile: the user waits for the longer
    // of the two measurements instead of both.
    std::future<LoudnessMeter::Level> original = std::async(std::launch::async, [&form, &bCancel] {
        // Of the original's true peak only what lies above the ceiling matters.
        return LoudnessMeter::Measure(form.loudnessReference, LoudnessMeter::peakCeilingDb, bCancel);
    });
    LoudnessMeter::Level measured;
    AudioConverter::Result result = MeasureSource(source, form, bCancel, measured, kept);
    if (result.outcome != Outcome::Done)
        return result;
    const LoudnessMeter::Level reference = original.get();
    if (!kept.empty()) {
        // Working out the points between the samples everywhere costs as much as the loudness.
        // With the highest sample as the true peak the gain can only come out higher, so only
        // points above the ceiling less that gain can lower it.
        const double ceiling = std::max(reference.truePeak, LoudnessMeter::peakCeilingDb);
        measured.truePeak = LoudnessMeter::TruePeak(kept.data(), kept.size() / std::size_t(form.channels), form.channels,
                                                    form.sampleRate, ceiling - LoudnessMeter::MatchingGain(reference, measured));
    }
    result.gainDb = LoudnessMeter::MatchingGain(reference, measured);
    return result;
}
}

QString AudioConverter::UnreadableReason(const QString &path)
{
    SF_INFO info;
    const OpenedSoundFile opened = OpenForReading(path, info);
    if (!opened.file)
        return opened.errorText;
    if (info.samplerate <= 0 || info.channels <= 0)
        return QStringLiteral("It has no sample rate or no channels.");
    return QString();
}

AudioForm AudioConverter::FormOf(const QString &path)
{
    SF_INFO info;
    if (!OpenForReading(path, info).file || info.samplerate <= 0 || info.channels <= 0)
        return AudioForm {false, 0, 0};
    return AudioForm {false, info.samplerate, info.channels};
}

double AudioConverter::Seconds(const QString &path)
{
    // Asked before the replace refuses what is not a file: a pipe would never answer.
    SF_INFO info;
    if (!QFileInfo(path).isFile() || !OpenForReading(path, info).file || info.samplerate <= 0 || info.frames <= 0)
        return 0.0;
    return double(info.frames) / double(info.samplerate);
}

qint64 AudioConverter::Frames(const QString &path)
{
    SF_INFO info;
    if (!QFileInfo(path).isFile() || !OpenForReading(path, info).file || info.frames <= 0)
        return 0;
    return info.frames;
}

bool AudioConverter::HasForm(const QString &path, const AudioForm &form)
{
    SF_INFO info;
    if (!OpenForReading(path, info).file)
        return false;
    const int wanted = form.bTrack ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    return (info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK)) == wanted && info.samplerate == form.sampleRate
        && info.channels == form.channels && (!form.bTrack || VorbisOpensTheFile(path));
}

AudioConverter::Result AudioConverter::Convert(const QString &source, const QString &target, const AudioForm &form,
                                               const std::atomic_bool &bCancel, const std::function<void(int)> &progress)
{
    if (form.sampleRate <= 0 || form.sampleRate > maxSampleRate || form.channels <= 0 || form.channels > maxChannels)
        return {Outcome::Failed, QStringLiteral("The entry's sample rate (%1 Hz) or channel count (%2) cannot be written.")
                                     .arg(form.sampleRate)
                                     .arg(form.channels)};
    // Measured first: the reference may be the target itself.
    Result matched {Outcome::Done, QString(), 0.0};
    std::vector<float> kept;
    if (!form.loudnessReference.isEmpty()) {
        matched = MatchingGain(source, form, bCancel, kept);
        if (matched.outcome != Outcome::Done)
            return matched;
    }
    SF_INFO inInfo;
    OpenedSoundFile openedIn = OpenForReading(source, inInfo);
    if (!openedIn.file)
        return {Outcome::Failed, QStringLiteral("The chosen file is not audio that can be read: ") + openedIn.errorText};
    const SndFilePtr in = std::move(openedIn.file);

    // Written beside the target under a name of its own: until the swap the old file is untouched,
    // and the temporary file goes with this object on every early return.
    QTemporaryFile converted(target + QStringLiteral(".XXXXXX"));
    if (!converted.open())
        return {Outcome::Failed, QStringLiteral("Failed to create a file beside ") + target + QStringLiteral(": ")
                                     + converted.errorString()};
    converted.close();
    SF_INFO outInfo {};
    outInfo.samplerate = form.sampleRate;
    outInfo.channels = form.channels;
    outInfo.format = form.bTrack ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    OpenedSoundFile openedOut = OpenSoundFile(QFile::encodeName(converted.fileName()), SFM_WRITE, &outInfo);
    if (!openedOut.file)
        return {Outcome::Failed, QStringLiteral("Failed to write the converted file: ") + openedOut.errorText};
    SndFilePtr out = std::move(openedOut.file);
    if (form.bTrack) {
        double quality = vorbisQuality;
        sf_command(out.get(), SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    const bool bUnchangedSamples = AtMostSixteenBits(inInfo.format) && inInfo.channels == form.channels
                                && inInfo.samplerate == form.sampleRate;
    // A fade and a gain make new in-between values too.
    const auto gain = float(std::pow(10.0, matched.gainDb / 20.0));
    Sink sink(out.get(), form.channels, !form.bTrack, !bUnchangedSamples || form.maxFrames > 0 || gain != 1.0f,
              kept.empty() ? form.maxFrames : 0, form.sampleRate, gain);
    const Result result = kept.empty() ? Pump(in.get(), inInfo, out.get(), sink, form, bCancel, progress)
                                       : WriteKept(kept, out.get(), sink, form.channels, bCancel, progress);
    if (result.outcome != Outcome::Done)
        return result;
    if (sf_close(out.release()) != 0)
        return {Outcome::Failed, QStringLiteral("Failed to finish the converted file.")};

    // The replaced file's permissions carry over; a rename then swaps both names in one step.
    const QFileInfo targetInfo(target);
    if (targetInfo.exists())
        converted.setPermissions(targetInfo.permissions());
    if (std::rename(QFile::encodeName(converted.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return {Outcome::Failed, QStringLiteral("Failed to put the converted file in place of ") + target};
    converted.setAutoRemove(false);
    return matched;
}
