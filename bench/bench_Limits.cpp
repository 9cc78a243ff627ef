// Load times of the largest files read at start-up, at 1x, 4x and 16x of a base size, where 16x
// is the size the program must cope with: a "configuration.ini" of 100,000 lines and a
// "MetaData.xml" of 500,000 elements (metafiles are bench_IniMetafileModel's subject).
// Goals:
// - MetaData.xml: at most 1.3 times a bare pass of Qt's XML stream reader over the same file (the
//   floor), and linear: the time per element at 16x at most 1.3 times that at 1x.
// - configuration.ini: against the plainest reading of the same file, every line into a string of
//   a list, which pays the same growing price for memory as the reader does, the ratio at 16x at
//   most 1.5 times that at 1x.
// The allocator runs as it does in the program (see bench_IniMetafileModel).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>


#include "LargeInputs.h"
#include "ScriptedDialogs.h"
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
    const char *floorName;
    int fullSize;
    Writer write;
    bool (*floor)(const QString &path);
    Loader load;
    double floorGoal;   // load / floor at every size; 0 for none
    double linearGoal;  // time per unit at 16x / at 1x; 0 for none
    double growthGoal;  // ratio to the floor at 16x / at 1x; 0 for none
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

// What any reader of the file must do at least: read it and let Qt's parser pass over it.
bool PassXml(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader reader(file.readAll());
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
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
        {"configuration.ini", "lines", "lines into a list", 100000, LargeInputs::WriteConfiguration, ReadLines,
         LoadConfiguration, 0, 0, 1.5},
        {"MetaData.xml", "elements", "bare XML pass", 500000, LargeInputs::WriteMetaData, PassXml, LoadMetaData, 1.3, 1.3, 0},
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
            measured[step] = Measure([&] { return subject.floor(path); }, [&] { return subject.load(path, size); }, bOk);
            const bool bMet = subject.floorGoal <= 0 || measured[step].ratio <= subject.floorGoal;
            bAllMet = bAllMet && bMet;
            std::printf("  %2dx %9d %-8s load %8.1f ms   floor (%s) %8.1f ms   ratio %5.2f", 1 << (2 * step), size,
                        subject.unit, measured[step].load, subject.floorName, measured[step].floor, measured[step].ratio);
            if (subject.floorGoal > 0)
                std::printf(" (goal <= %.1f) %s", subject.floorGoal, bMet ? "met" : "NOT MET");
            std::printf("\n");
            QFile::remove(path);
        }
        const double perUnit = (measured[2].load / 16) / measured[0].load;
        const double againstFloor = measured[2].ratio / measured[0].ratio;
        std::printf("  growth 1x -> 4x %.2f, 1x -> 16x %.2f (linear: 4 and 16); floor 1x -> 16x %.2f\n",
                    measured[1].load / measured[0].load, measured[2].load / measured[0].load,
                    measured[2].floor / measured[0].floor);
        if (subject.linearGoal > 0) {
            const bool bMet = perUnit <= subject.linearGoal;
            bAllMet = bAllMet && bMet;
            std::printf("  time per %s at 16x / at 1x %.2f (goal <= %.1f) %s\n", subject.unit, perUnit, subject.linearGoal,
                        bMet ? "met" : "NOT MET");
        }
        if (subject.growthGoal > 0) {
            const bool bMet = againstFloor <= subject.growthGoal;
            bAllMet = bAllMet && bMet;
            std::printf("  ratio to the floor at 16x / at 1x %.2f (goal <= %.1f) %s\n", againstFloor, subject.growthGoal,
                        bMet ? "met" : "NOT MET");
        }
        if (!bOk) {
            bAllMet = false;
            std::printf("  NOT MET: the loaded content is wrong\n");
        }
    }
    return bAllMet ? 0 : 1;
}
