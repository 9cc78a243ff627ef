// Loading a metafile into the entry model, as the user waits for it: reading the file, building
// the model, and destroying it again (the previous archive's model goes when the next one
// comes). The floor is reading the file's lines into a list with a text stream. Subjects: the
// largest archives the toolkit writes, an SFX metafile of 400 banks of 400 sounds and a stream
// metafile of 5,000 tracks, and each at 16 times that size.
// Goals: at most 6 times the floor, and for the SFX package linear: the time per line at 16x at
// most 1.3 times that at 1x. (A stream metafile of 5,000 tracks fits in the processor's caches,
// 16 times that does not; its growth is printed for reading.)
// The allocator runs as it does in the program: it keeps what a 1x load frees for the next one
// but hands the blocks of a 16x load back to the system, so every 16x load pays for its pages, as
// a user's does. The first load at each size is printed for reading.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <vector>

#include "metafile/IniMetafileModel.h"

namespace
{
constexpr double floorGoal = 6.0;
constexpr double linearGoal = 1.3;
constexpr int rounds = 5;

QByteArray Padded(int number)
{
    return QByteArray::number(number).rightJustified(3, '0');
}

QByteArray SfxMetafile(int banks, int sounds)
{
    static const char *const rates[] = {"22050", "24000", "32000", "44100", "16000", "11025"};
    QRandomGenerator random(1);
    QByteArray text = "[Archive]\nbasename=GENRL\nlookup_index=3\nnum_banks=" + QByteArray::number(banks) + "\n";
    for (int bank = 1; bank <= banks; ++bank) {
        const QByteArray bankName = "Bank_" + Padded(bank);
        text += "[" + bankName + "]\nnum_sounds=" + QByteArray::number(sounds) + "\n";
        for (int sound = 1; sound <= sounds; ++sound) {
            const QByteArray prefix = "sound_" + Padded(sound);
            text += prefix + ".filename=" + bankName + "/" + prefix + ".wav\n";
            text += prefix + ".sample_rate=" + rates[random.bounded(6)] + "\n";
            text += prefix + ".unknown_16=" + QByteArray::number(-random.bounded(2000)) + "\n";
        }
    }
    return text;
}

QByteArray StreamMetafile(int tracks)
{
    QRandomGenerator random(2);
    QByteArray text = "[Stream]\nnum_tracks=" + QByteArray::number(tracks) + "\nbasename=AA\nlookup_index=1\n";
    for (int track = 1; track <= tracks; ++track) {
        const QByteArray trackName = "Track_" + Padded(track);
        text += "[" + trackName + "]\nbeat_total=" + QByteArray::number(random.bounded(40)) + "\nfilename="
            + trackName + ".ogg\nlength_extra=" + QByteArray::number(random.bounded(1 << 20))
            + "\nlength_index=" + QByteArray::number(random.bounded(2)) + "\n";
    }
    return text;
}

qint64 ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QTextStream stream(&file);
    QStringList lines;
    for (QString line; stream.readLineInto(&line);)
        lines.append(line);
    return lines.size();
}

// The rows of the loaded model, counted before it is destroyed; -1 when loading failed.
qint64 LoadModel(IniMetafileModel::ArchiveType type, const QString &path)
{
    try {
        const IniMetafileModel model(type, path, {{QStringLiteral("AA"), QStringLiteral("Radio")}});
        qint64 rows = model.rowCount();
        for (int row = 0; row < model.rowCount(); ++row)
            rows += model.rowCount(model.index(row, 0));
        return rows;
    } catch (const QString &) {
        return -1;
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Measured
{
    double first = 0;  // the first load, new pages and all, ms
    double floor = 0;  // medians, ms
    double load = 0;
    qint64 lines = 0;
    bool bOk = true;
};

// Floor and load take turns, so that both meet the same moods of a shared machine.
Measured Measure(IniMetafileModel::ArchiveType type, const QString &path, qint64 expectedRows)
{
    Measured measured;
    std::vector<double> floors;
    std::vector<double> loads;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        measured.lines = ReadLines(path);
        floors.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        measured.bOk = LoadModel(type, path) == expectedRows && measured.bOk;
        loads.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (round == 0)
            measured.first = loads.back();
    }
    measured.floor = Median(floors);
    measured.load = Median(loads);
    return measured;
}

bool Write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

struct Subject
{
    const char *name;
    IniMetafileModel::ArchiveType type;
    std::function<QByteArray(int scale)> content;
    std::function<qint64(int scale)> rows;
    bool bLinearGoal;
};
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    const Subject subjects[] = {
        {"SFX metafile, 400 banks of 400 sounds", IniMetafileModel::SFX,
         [](int scale) { return SfxMetafile(400 * scale, 400); }, [](int scale) { return qint64(400) * scale * 401; }, true},
        {"stream metafile, 5,000 tracks", IniMetafileModel::STREAM,
         [](int scale) { return StreamMetafile(5000 * scale); }, [](int scale) { return qint64(5000) * scale; }, false},
    };
    std::printf("loading into the entry model and destroying it, against reading the lines; medians of %d\n", rounds);
    bool bAllMet = true;
    for (const Subject &subject : subjects) {
        std::printf("%s:\n", subject.name);
        Measured measured[2];
        for (int step = 0; step < 2; ++step) {
            const int scale = step == 0 ? 1 : 16;
            const QString path = folder.filePath(QStringLiteral("metafile.ini"));
            if (!Write(path, subject.content(scale))) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            measured[step] = Measure(subject.type, path, subject.rows(scale));
            const double ratio = measured[step].load / measured[step].floor;
            const bool bMet = measured[step].bOk && ratio <= floorGoal;
            bAllMet = bAllMet && bMet;
            std::printf("  %2dx %9lld lines  model %8.1f ms  floor %8.1f ms  ratio %5.2f (goal <= %.1f) %s;"
                        " first load %.1f ms\n", scale, measured[step].lines, measured[step].load, measured[step].floor,
                        ratio, floorGoal, !measured[step].bOk ? "NOT MET (wrong rows)" : bMet ? "met" : "NOT MET",
                        measured[step].first);
            QFile::remove(path);
        }
        const double perLine1 = measured[0].load / double(measured[0].lines);
        const double perLine16 = measured[1].load / double(measured[1].lines);
        const double growth = perLine16 / perLine1;
        if (!subject.bLinearGoal) {
            std::printf("  time per line 16x / 1x %.2f\n", growth);
            continue;
        }
        const bool bLinear = growth <= linearGoal;
        bAllMet = bAllMet && bLinear;
        std::printf("  time per line 16x / 1x %.2f (goal <= %.1f) %s\n", growth, linearGoal, bLinear ? "met" : "NOT MET");
    }
    return bAllMet ? 0 : 1;
}
