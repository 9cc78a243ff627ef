// Playback costs, in one run: the delay from PlayFile to the first block the device takes, the
// CPU time an OGG costs while it plays, and the peak memory of a 60-minute OGG against a 5-second
// one (each played in a child process of its own, so their peaks do not mix).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

#include "TestTones.h"
#include "player/Exception.h"
#include "player/Player.h"

namespace
{
using namespace std::chrono_literals;

double CpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The peak resident size of this process so far, in kB.
long PeakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds until the device has taken the first block of the current stream.
double WaitForFirstBlock(const Player &player, const QElapsedTimer &clock)
{
    while (player.GetFramesOutput() == 0)
        std::this_thread::sleep_for(100us);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Child mode: play the file (and seek near its end) for a while, then print the peak memory.
int PlayForPeakMemory(const QString &path)
{
    Player player;
    player.PlayFile(path);
    std::this_thread::sleep_for(1500ms);
    player.SetPosition(player.GetLength() - 2000);
    std::this_thread::sleep_for(500ms);
    std::printf("%ld\n", PeakResidentKb());
    return player.GetFramesOutput() > 0 ? 0 : 1;
}

long PeakOfChild(const QString &path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak-memory"), path});
    if (!child.waitForStarted() || !child.waitForFinished(60000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLong();
}

bool Generate(const QString &path, int format, qint64 frames, int rate, int channels, double quality)
{
    QElapsedTimer clock;
    clock.start();
    const bool written = TestTones::Write(path, format, frames, rate, channels, quality);
    std::printf("  generated %s (%.1f MB) in %.1f s\n", qPrintable(QFileInfo(path).fileName()),
                double(QFileInfo(path).size()) / 1e6, double(clock.elapsed()) / 1000.0);
    return written;
}
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--peak-memory"))
        return PlayForPeakMemory(arguments.at(2));

    QTemporaryDir folder;
    const QString music = folder.filePath("music.ogg");
    const QString shortLow = folder.filePath("five-seconds.ogg");
    const QString longLow = folder.filePath("sixty-minutes.ogg");
    constexpr int vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    // The long file at a low rate and quality, so that writing it takes seconds, not minutes; the
    // short one of the same kind is its yardstick.
    if (!folder.isValid() || !Generate(music, vorbis, 5 * 44100, 44100, 2, 0.4)
        || !Generate(shortLow, vorbis, 5 * 8000, 8000, 1, 0.0)
        || !Generate(longLow, vorbis, qint64(60) * 60 * 8000, 8000, 1, 0.0)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }

    double playingCpu = 0.0;
    double idleCpu = 0.0;
    std::vector<double> starts;
    std::vector<double> resumes;
    try {
        Player player;

        // Floor: what the device alone costs while nothing plays.
        double cpu = CpuSeconds();
        std::this_thread::sleep_for(2s);
        idleCpu = (CpuSeconds() - cpu) / 2.0;

        // A random wait before each start: without it every start would follow a device block at
        // the same phase, and the median would show that phase instead of the real spread.
        std::mt19937 random(20240601);
        std::uniform_int_distribution<int> phase(0, 25000);
        for (int run = 0; run < 31; ++run) {
            std::this_thread::sleep_for(std::chrono::microseconds(phase(random)));
            QElapsedTimer clock;
            clock.start();
            player.PlayFile(music);
            starts.push_back(WaitForFirstBlock(player, clock));
            // Floor: resuming a paused stream waits for the device only.
            player.SetPaused(true);
            const quint64 frames = player.GetFramesOutput();
            std::this_thread::sleep_for(30ms + std::chrono::microseconds(phase(random)));
            clock.restart();
            player.SetPaused(false);
            while (player.GetFramesOutput() == frames)
                std::this_thread::sleep_for(100us);
            resumes.push_back(double(clock.nsecsElapsed()) / 1e6);
            player.Stop();
        }

        player.PlayFile(music);
        cpu = CpuSeconds();
        std::this_thread::sleep_for(10s);
        playingCpu = (CpuSeconds() - cpu) / 10.0;
        player.Stop();
    } catch (const Exception &error) {
        std::fprintf(stderr, "playback failed: %s\n", error.GetMessage().c_str());
        return 1;
    }

    const long shortPeak = PeakOfChild(shortLow);
    const long longPeak = PeakOfChild(longLow);
    if (shortPeak < 0 || longPeak < 0) {
        std::fprintf(stderr, "a child player failed\n");
        return 1;
    }

    const double startMedian = Median(starts);
    const double resumeMedian = Median(resumes);
    std::printf("Start latency, PlayFile to the first block taken by the device (31 runs):\n");
    std::printf("  median %.2f ms (min %.2f, max %.2f); floor (resume of a paused stream) median %.2f ms; ratio %.2f\n",
                startMedian, *std::min_element(starts.begin(), starts.end()),
                *std::max_element(starts.begin(), starts.end()), resumeMedian, startMedian / resumeMedian);
    std::printf("  goal: median at most 30 ms -> %s\n", startMedian <= 30.0 ? "met" : "MISSED");
    std::printf("CPU while a 44.1 kHz stereo OGG plays for 10 s:\n");
    std::printf("  %.2f %% of one core; floor (device open, nothing playing) %.2f %%; playback itself %.2f %%\n",
                playingCpu * 100.0, idleCpu * 100.0, (playingCpu - idleCpu) * 100.0);
    std::printf("  goal: at most 3 %% -> %s\n", playingCpu <= 0.03 ? "met" : "MISSED");
    std::printf("Peak memory while playing (separate processes):\n");
    std::printf("  60-minute OGG %ld kB, 5-second OGG %ld kB (floor); difference %ld kB, ratio %.3f\n",
                longPeak, shortPeak, longPeak - shortPeak, double(longPeak) / double(shortPeak));
    std::printf("  goal: at most 4096 kB more -> %s\n", longPeak - shortPeak <= 4096 ? "met" : "MISSED");
    return 0;
}
