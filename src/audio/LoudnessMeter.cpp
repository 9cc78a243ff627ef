#include "audio/LoudnessMeter.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include <ebur128.h>
#include <sndfile.h>

#include "audio/SoundFile.h"

namespace
{
// Below this a gated loudness meter hears nothing; a gain that brought such a sound up would
// only raise its noise.
constexpr double silenceDb = -70.0;
// Integrated loudness needs at least one 400 ms gating block of each sound.
constexpr double shortestIntegrated = 0.4;
constexpr sf_count_t measureFrames = 8192;

double Decibels(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

bool Silent(double level)
{
    return !(level > silenceDb);
}

using Float4 = float __attribute__((vector_size(16)));

Float4 Load(const float *pSamples)
{
    Float4 loaded;
    std::memcpy(&loaded, pSamples, sizeof loaded);
    return loaded;
}
}

void LoudnessMeter::StateFree::operator()(ebur128_state *pState) const
{
    ebur128_destroy(&pState);
}

LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : state(ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I)),
      channels(channels), sampleRate(sampleRate), history(std::size_t(channels), std::vector<float>(taps - 1, 0.0f))
{
    if (!state)
        throw std::bad_alloc();
    // Hann-windowed sinc, each phase scaled to pass a constant level unchanged. libebur128's own
    // true peak costs more than the whole rest of a measurement.
    for (std::size_t phase = 0; phase < phases.size(); ++phase) {
        double sum = 0.0;
        for (std::size_t tap = 0; tap < taps; ++tap) {
            const double distance = double(tap) - double(taps / 2 - 1) - double(phase + 1) / 4.0;
            const double sinc = std::sin(M_PI * distance) / (M_PI * distance);
            phases[phase][tap] = float(sinc * 0.5 * (1.0 + std::cos(M_PI * distance / double(taps / 2))));
            sum += double(phases[phase][tap]);
        }
        double gain = 0.0;
        for (float &coefficient : phases[phase]) {
            coefficient = float(coefficient / sum);
            gain += std::abs(double(coefficient));
        }
        filterGain = std::max(filterGain, float(gain) * 1.001f);  // a margin for the rounding of the sums
    }
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const float *pFrames, std::size_t count)
{
    if (count == 0)
        return;
    ebur128_add_frames_float(state.get(), pFrames, count);
    for (std::size_t i = 0; i < count * std::size_t(channels); ++i)
        sumOfSquares += double(pFrames[i]) * double(pFrames[i]);
    frames += count;
    AddToTruePeak(pFrames, count);
}

void LoudnessMeter::SetTruePeakFloor(double decibels)
{
    truePeakFloor = float(std::pow(10.0, decibels / 20.0));
}

void LoudnessMeter::AddToTruePeak(const float *pFrames, std::size_t count)
{
    constexpr std::size_t kept = taps - 1;
    for (std::size_t channel = 0; channel < history.size(); ++channel) {
        std::vector<float> &samples = history[channel];
        samples.resize(kept + count);
        for (std::size_t frame = 0; frame < count; ++frame)
            samples[kept + frame] = pFrames[frame * std::size_t(channels) + channel];
        for (std::size_t start = 0; start < count; start += gateFrames) {
            const std::size_t points = std::min(gateFrames, count - start);
            // Every sample the stretch's points are made of; each is a sample of the sound, too.
            const float around = MaxAbs(samples.data() + start, points + kept);
            peak = std::max(peak, around);
            // No point between them can rise above their peak times the filter's gain: where that
            // stays below what is known or of interest, the stretch is not interpolated.
            if (around * filterGain > std::max(peak, truePeakFloor))
                peak = std::max(peak, Interpolated(samples.data() + start, points));
        }
        std::copy(samples.end() - std::ptrdiff_t(kept), samples.end(), samples.begin());
    }
}

float LoudnessMeter::MaxAbs(const float *pSamples, std::size_t count)
{
    Float4 high {};
    Float4 low {};
    std::size_t sample = 0;
    for (; sample + 4 <= count; sample += 4) {
        const Float4 four = Load(pSamples + sample);
        high = four > high ? four : high;
        low = four < low ? four : low;
    }
    float most = std::max({high[0], high[1], high[2], high[3], -low[0], -low[1], -low[2], -low[3]});
    for (; sample < count; ++sample)
        most = std::max(most, std::abs(pSamples[sample]));
    return most;
}

float LoudnessMeter::Interpolated(const float *pSamples, std::size_t points) const
{
    // Four points at once: the filters would otherwise cost more than all the rest.
    Float4 high {};
    Float4 low {};
    std::size_t point = 0;
    for (; point + 4 <= points; point += 4) {
        for (const auto &phase : phases) {
            Float4 sum {};
            for (std::size_t tap = 0; tap < taps; ++tap)
                sum += phase[tap] * Load(pSamples + point + tap);
            high = sum > high ? sum : high;
            low = sum < low ? sum : low;
        }
    }
    float most = std::max({high[0], high[1], high[2], high[3], -low[0], -low[1], -low[2], -low[3]});
    for (; point < points; ++point) {
        for (const auto &phase : phases) {
            float sum = 0.0f;
            for (std::size_t tap = 0; tap < taps; ++tap)
                sum += phase[tap] * pSamples[point + tap];
            most = std::max(most, std::abs(sum));
        }
    }
    return most;
}

LoudnessMeter::Level LoudnessMeter::Result() const
{
    Level level;
    if (ebur128_loudness_global(state.get(), &level.integrated) != EBUR128_SUCCESS)
        return Level {};
    level.truePeak = Decibels(double(peak));
    level.rms = frames > 0 ? Decibels(std::sqrt(sumOfSquares / double(frames * std::size_t(channels)))) : Decibels(0.0);
    level.seconds = double(frames) / double(sampleRate);
    level.bValid = true;
    return level;
}

LoudnessMeter::Level LoudnessMeter::Measure(const QString &path, double floorDecibels, const std::atomic_bool &bCancel)
{
    SF_INFO info {};
    const OpenedSoundFile opened = OpenSoundFile(QFile::encodeName(path), SFM_READ, &info);
    if (!opened.file || info.samplerate <= 0 || info.channels <= 0)
        return Level {};
    LoudnessMeter meter(info.channels, info.samplerate);
    meter.SetTruePeakFloor(floorDecibels);
    std::vector<float> block(std::size_t(measureFrames * info.channels));
    while (!bCancel) {
        const sf_count_t read = sf_readf_float(opened.file.get(), block.data(), measureFrames);
        if (read < 0 || (read == 0 && sf_error(opened.file.get()) != SF_ERR_NO_ERROR))
            return Level {};
        if (read == 0)
            return meter.Result();
        meter.Add(block.data(), std::size_t(read));
    }
    return Level {};
}

double LoudnessMeter::TruePeak(const float *pFrames, std::size_t frames, int channels, int sampleRate, double floorDecibels)
{
    LoudnessMeter meter(channels, sampleRate);
    meter.SetTruePeakFloor(floorDecibels);
    for (std::size_t start = 0; start < frames; start += std::size_t(measureFrames))
        meter.AddToTruePeak(pFrames + start * std::size_t(channels), std::min(std::size_t(measureFrames), frames - start));
    return Decibels(double(meter.peak));
}

double LoudnessMeter::MatchingGain(const Level &original, const Level &replacement)
{
    if (!original.bValid || !replacement.bValid)
        return 0.0;
    const bool bShort = original.seconds < shortestIntegrated || replacement.seconds < shortestIntegrated;
    const double originalLevel = bShort ? original.rms : original.integrated;
    const double replacementLevel = bShort ? replacement.rms : replacement.integrated;
    if (Silent(originalLevel) || Silent(replacementLevel))
        return 0.0;
    const double ceiling = std::max(original.truePeak, peakCeilingDb);
    return std::min(originalLevel - replacementLevel, ceiling - replacement.truePeak);
}
