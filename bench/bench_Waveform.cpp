// Waveform costs, in one run: the outline of a 5-minute stereo OGG against a bare decode of the
// same file, one repaint of a 1,000-pixel strip against the repaint of an empty one, and the
// time from choosing a short SFX sound to its first picture.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "TestTones.h"
#include "waveform/WaveformPeaks.h"
#include "waveform/WaveformView.h"

namespace
{
// The machine is shared: CPU time of this thread, unlike the wall clock, does not count the time
// other processes take from it.
double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const char *Verdict(bool bMet)
{
    return bMet ? "met" : "MISSED";
}

// The floor: every frame decoded to float, the same way and in the same blocks, and nothing else.
double BareDecodeMs(const QString &path)
{
    const double start = ThreadCpuMs();
    SF_INFO info {};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info),
                                                            &sf_close);
    if (!file)
        return -1.0;
    std::vector<float> block(std::size_t(8192 * info.channels));
    float sink = 0.0f;
    for (sf_count_t read; (read = sf_readf_float(file.get(), block.data(), 8192)) > 0;)
        sink += block[0];
    const double elapsed = ThreadCpuMs() - start;
    return sink == 12345.0f ? elapsed + 1e-9 : elapsed;  // keeps the loop from being dropped
}

double PeaksMs(const QString &path)
{
    const double start = ThreadCpuMs();
    const WaveformPeaks peaks = WaveformPeaks::Compute(path, 1000);
    return peaks.IsValid() ? ThreadCpuMs() - start : -1.0;
}

double RepaintMedianMs(WaveformView &view, int repaints)
{
    std::vector<double> times;
    for (int i = 0; i < repaints; ++i) {
        view.SetPlayPosition(uint(i * 1000));
        QElapsedTimer clock;
        clock.start();
        view.repaint();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const QString track = folder.filePath("five-minutes.ogg");
    QElapsedTimer clock;
    clock.start();
    if (!folder.isValid() || !TestTones::Write(track, SF_FORMAT_OGG | SF_FORMAT_VORBIS, qint64(5) * 60 * 44100, 44100, 2, 0.4)) {
        std::fprintf(stderr, "cannot write the test track\n");
        return 1;
    }
    std::printf("  generated %s (%.1f MB) in %.1f s\n", qPrintable(QFileInfo(track).fileName()),
                double(QFileInfo(track).size()) / 1e6, double(clock.elapsed()) / 1000.0);

    // Turn about, each going first every other round, so that a slower or faster stretch of the
    // machine hits both alike.
    std::vector<double> floors;
    std::vector<double> outlines;
    for (int round = 0; round < 7; ++round) {
        if (round % 2 == 0)
            floors.push_back(BareDecodeMs(track));
        outlines.push_back(PeaksMs(track));
        if (round % 2 == 1)
            floors.push_back(BareDecodeMs(track));
    }
    if (*std::min_element(floors.begin(), floors.end()) < 0 || *std::min_element(outlines.begin(), outlines.end()) < 0) {
        std::fprintf(stderr, "the test track cannot be decoded\n");
        return 1;
    }
    const double floor = Median(floors);
    const double outline = Median(outlines);
    std::printf("Outline of a 5-minute 44.1 kHz stereo OGG, 1,000 columns (CPU time, median of 7):\n");
    std::printf("  floor (bare decode): %8.1f ms\n  outline:             %8.1f ms  ratio %.3f  goal <= 1.2 -> %s\n", floor,
                outline, outline / floor, Verdict(outline / floor <= 1.2));

    WaveformView view;
    view.resize(1000, 120);
    view.show();
    view.SetEntry(track, 44100 * 30);
    while (!view.Outline())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double strip = RepaintMedianMs(view, 301);
    view.SetEntry(QString());
    const double empty = RepaintMedianMs(view, 301);
    std::printf("One repaint of a 1,000-pixel stereo strip with loop and play position (median of 301):\n");
    std::printf("  floor (empty strip): %8.3f ms\n  strip:               %8.3f ms  ratio %.1f  goal <= 2 ms -> %s\n", empty,
                strip, strip / empty, Verdict(strip <= 2.0));

    // Short sounds as the SFX archives hold them, each new to the cache.
    std::vector<double> pictures;
    std::vector<double> decodes;
    for (int sound = 0; sound < 31; ++sound) {
        const QString path = folder.filePath(QStringLiteral("sound_%1.wav").arg(sound));
        if (!TestTones::Write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050 * 3 / 2 + sound * 100, 22050, 1)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        decodes.push_back(BareDecodeMs(path));
        clock.restart();
        view.SetEntry(path, 11025);
        while (!view.Outline())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        view.repaint();
        pictures.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const double slowest = *std::max_element(pictures.begin(), pictures.end());
    std::printf("First picture of a 1.5 s SFX sound after it is chosen (31 sounds):\n");
    std::printf("  floor (bare decode): %8.3f ms\n  picture: median     %8.3f ms, slowest %.3f ms  goal <= 50 ms -> %s\n",
                Median(decodes), Median(pictures), slowest, Verdict(slowest <= 50.0));
    return 0;
}
