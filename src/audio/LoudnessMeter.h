#pragma once
#include <QString>

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include <ebur128.h>  // its state is an unnamed struct: no forward declaration reaches it

// Measures how loud a sound is, fed its interleaved float frames block by block: its integrated
// loudness (libebur128), the RMS level of the whole sound and its true peak, the highest level
// between the samples too, found by interpolating three points between every two samples. Owns
// the measuring state.
class LoudnessMeter
{
public:
    // What a meter found; every level is -infinity for silence.
    struct Level
    {
        double integrated = 0.0;  // LUFS
        double rms = 0.0;         // dBFS, over every sample of every channel
        double truePeak = 0.0;    // dBTP, the highest of the channels; see SetTruePeakFloor
        double seconds = 0.0;
        bool bValid = false;      // false when nothing could be measured
    };

    // Throws std::bad_alloc when the measuring state cannot be made.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;

    // Below this level (dBTP) the true peak need not be exact: points between the samples are then
    // only worked out where they could rise above it. Else every one that could raise the peak is.
    void SetTruePeakFloor(double decibels);

    void Add(const float *pFrames, std::size_t frames);
    Level Result() const;

    // Reads the whole file at path as it stands, with that true peak floor; an invalid level when
    // it is not readable audio or `bCancel` was seen.
    static Level Measure(const QString &path, double floorDecibels, const std::atomic_bool &bCancel);

    // The true peak (dBTP) of interleaved frames, exact above `floorDecibels` as with
    // SetTruePeakFloor, never below their highest sample. Throws std::bad_alloc as the constructor.
    static double TruePeak(const float *pFrames, std::size_t frames, int channels, int sampleRate, double floorDecibels);

    // The ceiling of a replacement's true peak: the original's, where it is higher than this.
    static constexpr double peakCeilingDb = -1.0;

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
    static constexpr std::size_t taps = 12;  // samples around each point between two samples
    static constexpr std::size_t gateFrames = 256;
    void AddToTruePeak(const float *pFrames, std::size_t count);
    static float MaxAbs(const float *pSamples, std::size_t count);
    // The highest of the points between pSamples[taps / 2 - 1 + i] and the sample after it, i < points.
    float Interpolated(const float *pSamples, std::size_t points) const;

    std::unique_ptr<ebur128_state, StateFree> state;
    int channels = 1;
    int sampleRate = 0;
    std::size_t frames = 0;
    double sumOfSquares = 0.0;
    float peak = 0.0f;                                  // linear, samples and points between
    float truePeakFloor = 0.0f;                         // linear
    float filterGain = 0.0f;                            // the most a point can exceed its samples by
    std::array<std::array<float, taps>, 3> phases {};  // interpolation filters at 1/4, 1/2, 3/4
    std::vector<std::vector<float>> history;            // per channel: the last taps - 1 samples, then a block
};
