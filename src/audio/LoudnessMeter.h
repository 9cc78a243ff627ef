#pragma once
#include <QString>

#include <cstddef>
#include <memory>

#include <ebur128.h>  // its state is an unnamed struct: no forward declaration reaches it

// Measures how loud a sound is, fed its interleaved float frames block by block: its integrated
// loudness, the RMS level of the whole sound and its true peak. Owns the measuring state.
class LoudnessMeter
{
public:
    // What a meter found; every level is -infinity for silence.
    struct Level
    {
        double integrated = 0.0;  // LUFS
        double rms = 0.0;         // dBFS, over every sample of every channel
        double truePeak = 0.0;    // dBTP, the highest of the channels
        double seconds = 0.0;
        bool bValid = false;      // false when nothing could be measured
    };

    // Throws std::bad_alloc when the measuring state cannot be made.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;

    void Add(const float *pFrames, std::size_t frames);
    Level Result() const;

    // Reads the whole file at path as it stands; an invalid level when it is not readable audio.
    static Level Measure(const QString &path);

    // The gain in dB that brings `replacement` to the loudness of `original`: integrated loudness,
    // or the RMS level when either is shorter than 0.4 s; lowered so that the result's true peak
    // stays at or below the original's or -1 dBTP, whichever is higher. 0 when either is silent
    // or invalid.
    static double MatchingGain(const Level &original, const Level &replacement);

private:
    struct StateFree
    {
        void operator()(ebur128_state *pState) const;
    };
    std::unique_ptr<ebur128_state, StateFree> state;
    int channels = 1;
    int sampleRate = 0;
    std::size_t frames = 0;
    double sumOfSquares = 0.0;
};
