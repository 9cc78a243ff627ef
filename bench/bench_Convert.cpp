// Replacement conversion costs, in one run: a 4-minute 44.1 kHz stereo FLAC turned into a track's
// Ogg Vorbis against oggenc encoding the same audio from a WAV at the same quality, the same
// conversion brought to the loudness of a 4-minute original against it without, and the largest
// gap of a 10 ms timer in the window while the conversion runs under its progress box.
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
#include <sys/resource.h>

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
