// Setting one sound's loop start in the metafile of a package of 5,000 sounds (50 banks of 100),
// the last sound's, so that the whole file is looked through. The floor is reading that file and
// writing it once the same way (beside it, then renamed over it). Goal: at most 2 times the floor.
// CPU time, the fastest of several rounds: the machine is shared.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "app/archive/LoopStarts.h"

namespace
{
constexpr int banks = 50;
constexpr int soundsPerBank = 100;
constexpr int rounds = 15;
constexpr double goal = 2.0;

double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QByteArray Padded(int number)
{
    return QByteArray::number(number).rightJustified(3, '0');
}

// As unpacking writes it.
QByteArray Metafile()
{
    QByteArray text = "[Archive]\nbasename=GENRL\nlookup_index=3\nnum_banks=" + QByteArray::number(banks) + "\n";
    for (int bank = 1; bank <= banks; ++bank) {
        const QByteArray bankName = "Bank_" + Padded(bank);
        text += "\n[" + bankName + "]\nlookup_record=" + QByteArray::number(bank - 1) + "\nnum_sounds="
              + QByteArray::number(soundsPerBank) + "\n";
        for (int sound = 1; sound <= soundsPerBank; ++sound) {
            const QByteArray prefix = "sound_" + Padded(sound);
            text += prefix + ".filename=" + bankName + "/" + prefix + ".wav\n" + prefix + ".sample_rate=22050\n" + prefix
                  + ".unknown_16=-200\n" + prefix + ".loop_offset=" + QByteArray::number(sound % 3 ? -1 : sound * 10) + "\n"
                  + prefix + ".export_bytes=" + QByteArray::number(sound * 400) + "\n";
        }
    }
    return text;
}

double Fastest(const std::function<bool(int)> &run)
{
    double fastest = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const double start = ThreadCpuMs();
        if (!run(round))
            return -1.0;
        fastest = std::min(fastest, ThreadCpuMs() - start);
    }
    return fastest;
}
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    const QString path = folder.filePath("sfx_import.ini");
    QFile file(path);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(Metafile()) < 0 || !file.flush()) {
        std::fprintf(stderr, "cannot write the metafile\n");
        return 1;
    }
    file.close();

    const double floor = Fastest([&path](int) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = in.readAll();
        in.close();
        QSaveFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
    });
    const LoopStarts loopStarts(path);
    const double set = Fastest([&loopStarts](int round) { return loopStarts.Set(banks, soundsPerBank, round).isNull(); });
    if (floor <= 0 || set < 0) {
        std::fprintf(stderr, "reading or writing the metafile failed\n");
        return 1;
    }
    std::printf("Setting a loop start in a metafile of %d sounds (CPU time, fastest of %d):\n", banks * soundsPerBank, rounds);
    std::printf("  floor (read the file, write it beside and rename): %8.2f ms\n  setting the last sound's loop start:              "
                "%8.2f ms  ratio %.3f  goal <= %.1f -> %s\n",
                floor, set, set / floor, goal, set / floor <= goal ? "met" : "MISSED");
    return 0;
}
