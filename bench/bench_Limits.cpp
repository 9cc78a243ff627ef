// Load times of the largest files the program reads, at 1x, 4x and 16x of a base size, where 16x
// is the size the program must cope with: a metafile of 1,000,000 sounds, a "configuration.ini"
// of 100,000 lines and a "MetaData.xml" of 500,000 elements. Loading must grow linearly: 16x the
// input may take about 16x the time. The floor is reading the same bytes from disk.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "LargeInputs.h"
#include "ScriptedDialogs.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

namespace
{
// Load a file; false when it did not give what it holds.
using Loader = std::function<bool(const QString &path, int size)>;
using Writer = bool (*)(const QString &path, int size);

struct Subject
{
    const char *name;
    const char *unit;
    int fullSize;
    Writer write;
    Loader load;
};

double Milliseconds(const std::function<bool()> &work, bool &bOk)
{
    // The median of three runs: one cold cache or page-fault storm must not decide the ratio.
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer clock;
        clock.start();
        bOk = work() && bOk;
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

bool ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && !file.readAll().isEmpty();
}

bool LoadMetafile(const QString &path, int sounds)
{
    try {
        const IniMetafileModel model(IniMetafileModel::SFX, path, {});
        const int banks = (sounds + LargeInputs::soundsPerBank - 1) / LargeInputs::soundsPerBank;
        return model.rowCount() == banks
            && model.rowCount(model.index(banks - 1, 0)) == sounds - (banks - 1) * LargeInputs::soundsPerBank;
    } catch (const QString &) {
        return false;
    }
}

bool LoadConfiguration(const QString &path, int lines)
{
    // As the window reads it: all bytes as Latin-1, then the tree.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const TreeModel model(QString::fromLatin1(file.readAll()), false);
    return model.rowCount() == (lines + 10) / 11;
}

bool LoadMetaData(const QString &path, int elements)
{
    ScriptedDialogs dialogs;
    const XmlMetaData metaData = ReadMetaData(path);
    return dialogs.shown.isEmpty() && metaData.idsByPath.size() == elements / 2;
}
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const Subject subjects[] = {
        {"SFX metafile", "sounds", 1000000, LargeInputs::WriteSfxMetafile, LoadMetafile},
        {"configuration.ini", "lines", 100000, LargeInputs::WriteConfiguration, LoadConfiguration},
        {"MetaData.xml", "elements", 500000, LargeInputs::WriteMetaData, LoadMetaData},
    };
    bool bAllMet = true;
    for (const Subject &subject : subjects) {
        std::printf("%s:\n", subject.name);
        double times[3] = {};
        double floors[3] = {};
        bool bOk = true;
        for (int step = 0; step < 3; ++step) {
            const int size = subject.fullSize / 16 * (1 << (2 * step));
            const QString path = folder.filePath(QStringLiteral("input%1").arg(step));
            if (!subject.write(path, size)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            floors[step] = Milliseconds([&] { return ReadBytes(path); }, bOk);
            times[step] = Milliseconds([&] { return subject.load(path, size); }, bOk);
            std::printf("  %2dx %9d %-8s load %9.1f ms   floor (reading the bytes) %7.1f ms   ratio %6.1f\n",
                        1 << (2 * step), size, subject.unit, times[step], floors[step], times[step] / floors[step]);
            QFile::remove(path);
        }
        // Per-size cost at 16x against 1x: 1.0 is perfectly linear.
        const double growth = times[2] / times[0];
        const double perUnit = growth / 16.0;
        const bool bMet = bOk && perUnit <= 1.5;
        bAllMet = bAllMet && bMet;
        std::printf("  growth 1x -> 4x %.2f, 1x -> 16x %.2f (linear: 4 and 16); cost per %s at 16x / at 1x %.2f\n",
                    times[1] / times[0], growth, subject.unit, perUnit);
        std::printf("  goal: everything loaded, and the cost per %s at 16x at most 1.5 times that at 1x -> %s\n",
                    subject.unit, bMet ? "met" : (bOk ? "MISSED" : "MISSED (wrong content)"));
    }
    return bAllMet ? 0 : 1;
}
