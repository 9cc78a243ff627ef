#include "audio/LoudnessMeter.h"

#include <QFile>

#include <algorithm>
#include <cmath>
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
constexpr double peakCeilingDb = -1.0;
constexpr sf_count_t measureFrames = 8192;

double Decibels(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

bool Silent(double level)
{
    return !(level > silenceDb);
}
}

void LoudnessMeter::StateFree::operator()(ebur128_state *pState) const
{
    ebur128_destroy(&pState);
}

LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : state(ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK)),
      channels(channels), sampleRate(sampleRate)
{
    if (!state)
        throw std::bad_alloc();
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
}

LoudnessMeter::Level LoudnessMeter::Result() const
{
    Level level;
    if (ebur128_loudness_global(state.get(), &level.integrated) != EBUR128_SUCCESS)
        return Level {};
    double peak = 0.0;
    for (int channel = 0; channel < channels; ++channel) {
        double channelPeak = 0.0;
        if (ebur128_true_peak(state.get(), unsigned(channel), &channelPeak) != EBUR128_SUCCESS)
            return Level {};
        peak = std::max(peak, channelPeak);
    }
    level.truePeak = Decibels(peak);
    level.rms = frames > 0 ? Decibels(std::sqrt(sumOfSquares / double(frames * std::size_t(channels)))) : Decibels(0.0);
    level.seconds = double(frames) / double(sampleRate);
    level.bValid = true;
    return level;
}

LoudnessMeter::Level LoudnessMeter::Measure(const QString &path)
{
    SF_INFO info {};
    const OpenedSoundFile opened = OpenSoundFile(QFile::encodeName(path), SFM_READ, &info);
    if (!opened.file || info.samplerate <= 0 || info.channels <= 0)
        return Level {};
    LoudnessMeter meter(info.channels, info.samplerate);
    std::vector<float> block(std::size_t(measureFrames * info.channels));
    for (;;) {
        const sf_count_t read = sf_readf_float(opened.file.get(), block.data(), measureFrames);
        if (read < 0 || (read == 0 && sf_error(opened.file.get()) != SF_ERR_NO_ERROR))
            return Level {};
        if (read == 0)
            return meter.Result();
        meter.Add(block.data(), std::size_t(read));
    }
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
