// Replacement conversion costs, in one run: a 4-minute 44.1 kHz stereo FLAC turned into a track's
// Ogg Vorbis against oggenc encoding the same audio from a WAV at the same quality, the same
// conversion brought to the loudness of a 4-minute original against it without, with the work no
// matching can do without, and the largest gap of a 10 ms timer in the window while the conversion
// runs under its progress box.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>
#include <sys/resource.h>

#include <ebur128.h>
#include <sndfile.h>

#include "TestTones.h"
#include "app/ConversionDialog.h"
#include "audio/AudioConverter.h"

namespace
{
// The machine is shared: CPU time, unlike the wall clock, does not count what other processes take.
double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double ChildrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval &time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

const char *Verdict(bool bMet)
{
    return bMet ? "met" : "MISSED";
}

double ConvertMs(const QString &source, const QString &target, const AudioForm &form)
{
    std::atomic_bool bCancel {false};
    const double start = ThreadCpuMs();
    const AudioConverter::Result result = AudioConverter::Convert(source, target, form, bCancel, {});
    return result.outcome == AudioConverter::Outcome::Done ? ThreadCpuMs() - start : -1.0;
}

double ProcessCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The wall clock, which is what the user waits for, and the CPU time of every thread, of the
// fastest of `rounds` conversions; negative when one fails.
struct Timing
{
    double wallMs = 1e300;
    double cpuMs = 1e300;
};
Timing Timed(const QString &source, const QString &target, const AudioForm &form, int rounds)
{
    Timing fastest;
    for (int round = 0; round < rounds; ++round) {
        std::atomic_bool bCancel {false};
        QElapsedTimer wall;
        wall.start();
        const double cpu = ProcessCpuMs();
        if (AudioConverter::Convert(source, target, form, bCancel, {}).outcome != AudioConverter::Outcome::Done)
            return {-1.0, -1.0};
        fastest.cpuMs = std::min(fastest.cpuMs, ProcessCpuMs() - cpu);
        fastest.wallMs = std::min(fastest.wallMs, double(wall.nsecsElapsed()) / 1e6);
    }
    return fastest;
}

std::vector<float> Decoded(const QString &path, int &channels, int &rate)
{
    SF_INFO info {};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info),
                                                            &sf_close);
    channels = info.channels;
    rate = info.samplerate;
    std::vector<float> samples(std::size_t(file ? info.frames * info.channels : 0));
    if (file)
        samples.resize(std::size_t(sf_readf_float(file.get(), samples.data(), info.frames) * info.channels));
    return samples;
}

bool Loudness(const std::vector<float> &samples, int channels, int rate)
{
    ebur128_state *state = ebur128_init(unsigned(channels), static_cast<unsigned long>(rate), EBUR128_MODE_I);
    double loudness = 0.0;
    const bool bMeasured = state && ebur128_add_frames_float(state, samples.data(), samples.size() / std::size_t(channels)) == EBUR128_SUCCESS
                        && ebur128_loudness_global(state, &loudness) == EBUR128_SUCCESS;
    if (state)
        ebur128_destroy(&state);
    return bMeasured;
}

// CPU time of what matching cannot leave out however it is written: decoding the original, and
// libebur128's integrated loudness of the original and of the source, whose decoding the
// conversion pays anyway; negative when either cannot be read.
double MatchingFloorMs(const QString &original, const QString &source)
{
    int channels = 0;
    int rate = 0;
    const std::vector<float> sourceSamples = Decoded(source, channels, rate);
    const double start = ThreadCpuMs();
    if (sourceSamples.empty() || !Loudness(sourceSamples, channels, rate))
        return -1.0;
    const std::vector<float> originalSamples = Decoded(original, channels, rate);
    if (originalSamples.empty() || !Loudness(originalSamples, channels, rate))
        return -1.0;
    return ThreadCpuMs() - start;
}

double OggencMs(const QString &oggenc, const QString &wav, const QString &target)
{
    const double start = ChildrenCpuMs();
    QProcess process;
    process.start(oggenc, {QStringLiteral("-Q"), QStringLiteral("-q"), QStringLiteral("4"), QStringLiteral("-o"), target, wav});
    if (!process.waitForStarted() || !process.waitForFinished(-1) || process.exitCode() != 0)
        return -1.0;
    return ChildrenCpuMs() - start;
}
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const QString flac = folder.filePath("four-minutes.flac");
    const QString wav = folder.filePath("four-minutes.wav");
    const qint64 frames = qint64(4) * 60 * 44100;
    if (!folder.isValid() || !TestTones::Write(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, frames, 44100, 2)
        || !TestTones::Write(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, frames, 44100, 2)) {
        std::fprintf(stderr, "cannot write the test audio\n");
        return 1;
    }
    const AudioForm track {true, 44100, 2};
    const QString target = folder.filePath("Track_001.ogg");
    if (!TestTones::WriteBytes(target, "old")) {
        std::fprintf(stderr, "cannot write the old track\n");
        return 1;
    }

    const double convert = ConvertMs(flac, target, track);
    if (convert < 0) {
        std::fprintf(stderr, "the conversion failed\n");
        return 1;
    }
    std::printf("A 4-minute 44.1 kHz stereo FLAC to a track's Ogg Vorbis, quality 0.4 (CPU time):\n");
    const QString oggenc = QStandardPaths::findExecutable(QStringLiteral("oggenc"));
    if (oggenc.isEmpty()) {
        std::printf("  conversion:          %8.1f ms  (no oggenc: install vorbis-tools for the floor; goal <= 1.5)\n", convert);
    } else {
        const double floor = OggencMs(oggenc, wav, folder.filePath("oggenc.ogg"));
        if (floor <= 0) {
            std::fprintf(stderr, "oggenc failed\n");
            return 1;
        }
        std::printf("  floor (oggenc -q 4 from WAV): %8.1f ms\n  conversion:                   %8.1f ms  ratio %.3f  goal <= 1.5 -> %s\n",
                    floor, convert, convert / floor, Verdict(convert / floor <= 1.5));
    }

    // Matching measures the original and the converted source before it writes: the original is
    // the track just written, as long as the source.
    const QString original = folder.filePath("original.ogg");
    AudioForm matching = track;
    matching.loudnessReference = original;
    // The original is measured on a thread of its own while the source is: the goal is on the
    // time the user waits; the CPU time of all threads is printed for reading.
    if (!QFile::copy(target, original)) {
        std::fprintf(stderr, "cannot copy the original\n");
        return 1;
    }
    const Timing plain = Timed(flac, target, track, 2);
    const Timing matched = Timed(flac, target, matching, 2);
    if (plain.wallMs < 0 || matched.wallMs < 0) {
        std::fprintf(stderr, "the conversion with or without loudness matching failed\n");
        return 1;
    }
    std::printf("The same conversion brought to the loudness of a 4-minute original (fastest of 2):\n"
                "  without matching:  %8.1f ms, CPU %8.1f ms\n"
                "  with matching:     %8.1f ms, CPU %8.1f ms  ratio %.3f (CPU %.3f)  goal <= 1.3 -> %s\n",
                plain.wallMs, plain.cpuMs, matched.wallMs, matched.cpuMs, matched.wallMs / plain.wallMs,
                matched.cpuMs / plain.cpuMs, Verdict(matched.wallMs / plain.wallMs <= 1.3));
    // When no second core is free, the original's thread gains nothing and this bounds the ratio.
    const double floor = MatchingFloorMs(original, flac);
    if (floor < 0) {
        std::fprintf(stderr, "cannot measure the loudness floor\n");
        return 1;
    }
    std::printf("  floor: decoding the original, libebur128 over both: CPU %8.1f ms  = %.3f of the conversion's CPU time;\n"
                "  on a single free core the ratio cannot come below %.3f\n",
                floor, floor / plain.cpuMs, 1.0 + floor / plain.cpuMs);

    // The window's own event loop keeps turning while the worker converts.
    QWidget window;
    window.show();
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 largestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        largestGap = std::max(largestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(10);
    ConversionDialog dialog(&window);
    const AudioConverter::Result result = dialog.Run(flac, target, track);
    std::printf("Largest gap of a 10 ms timer while converting: %lld ms  goal <= 50 ms -> %s\n",
                static_cast<long long>(largestGap), Verdict(result.outcome == AudioConverter::Outcome::Done && largestGap <= 50));
    return 0;
}
