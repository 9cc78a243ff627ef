// Load times of the largest files the program reads, at 1x, 4x and 16x of a base size, where 16x
// is the size the program must cope with: a metafile of 1,000,000 sounds, a "configuration.ini"
// of 100,000 lines and a "MetaData.xml" of 500,000 elements. Loading must grow linearly: 16x the
// input may take about 16x the time. The floor is the plainest reading of the same file, every
// line into a string of a list: it pays the same growing price for memory (page faults, caches,
// the allocator) as the readers do, so the loader's time against the floor shows whether the
// reading itself stays linear.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Milliseconds(const std::function<bool()> &work, bool &bOk)
{
    QElapsedTimer clock;
    clock.start();
    bOk = work() && bOk;
    return double(clock.nsecsElapsed()) / 1e6;
}

struct Measured
{
    double load = 0.0;   // medians, ms
    double floor = 0.0;
    double ratio = 0.0;  // median of the paired ratios
};

// Floor and load run in pairs, so that both see the same state of a busy machine, and the
// median of five pairs decides: one page-fault storm must not decide the ratio.
Measured Measure(const std::function<bool()> &floor, const std::function<bool()> &load, bool &bOk)
{
    std::vector<double> floors;
    std::vector<double> loads;
    std::vector<double> ratios;
    for (int run = 0; run < 5; ++run) {
        floors.push_back(Milliseconds(floor, bOk));
        loads.push_back(Milliseconds(load, bOk));
        ratios.push_back(loads.back() / floors.back());
    }
    return {Median(loads), Median(floors), Median(ratios)};
}

bool ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QTextStream stream(&file);
    QStringList lines;
    for (QString line; stream.readLineInto(&line);)
        lines.append(line);
    return !lines.isEmpty();
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
        Measured measured[3];
        bool bOk = true;
        for (int step = 0; step < 3; ++step) {
            const int size = subject.fullSize / 16 * (1 << (2 * step));
            const QString path = folder.filePath(QStringLiteral("input%1").arg(step));
            if (!subject.write(path, size)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            measured[step] = Measure([&] { return ReadLines(path); }, [&] { return subject.load(path, size); }, bOk);
            std::printf("  %2dx %9d %-8s load %8.1f ms   floor (lines into a list) %8.1f ms   ratio %5.2f\n",
                        1 << (2 * step), size, subject.unit, measured[step].load, measured[step].floor,
                        measured[step].ratio);
            QFile::remove(path);
        }
        // 1.0: from 1x to 16x the load grows exactly as the plainest reading of the same lines.
        const double againstFloor = measured[2].ratio / measured[0].ratio;
        const bool bMet = bOk && againstFloor <= 1.5;
        bAllMet = bAllMet && bMet;
        std::printf("  growth 1x -> 4x %.2f, 1x -> 16x %.2f (linear: 4 and 16); floor 1x -> 16x %.2f; "
                    "ratio at 16x / ratio at 1x %.2f\n",
                    measured[1].load / measured[0].load, measured[2].load / measured[0].load,
                    measured[2].floor / measured[0].floor, againstFloor);
        std::printf("  goal: everything loaded, and the ratio to the floor at 16x at most 1.5 times that at 1x -> %s\n",
                    bMet ? "met" : (bOk ? "MISSED" : "MISSED (wrong content)"));
    }
    return bAllMet ? 0 : 1;
}
