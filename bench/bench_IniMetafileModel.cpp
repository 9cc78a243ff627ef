// Loading a metafile into the entry model against the floor of merely reading its lines with a
// QTextStream, for the largest archives the toolkit writes: an SFX metafile of 400 banks of 400
// sounds and a stream metafile of 5,000 tracks. Also the memory the loaded SFX model takes.
// Goals: model / floor at most 2.0; peak memory of loading the SFX model at most 3 x file size.
//
// The ratios compare CPU time: on a shared machine wall time mostly measures the neighbours.
// The repeated runs keep freed memory in the process (see main); the first load of a fresh
// process, which also pays the system for every new page, is reported on its own.

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "metafile/IniMetafileModel.h"

namespace {

constexpr double timeGoal = 2.0;
constexpr double memoryGoal = 3.0;

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

void WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

void ReadLines(benchmark::State &state, const QString &path)
{
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            state.SkipWithError("cannot open the metafile");
            return;
        }
        QTextStream stream(&file);
        QString line;
        qint64 lines = 0;
        while (stream.readLineInto(&line))
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
}

void LoadModel(benchmark::State &state, IniMetafileModel::ArchiveType type, const QString &path)
{
    const QMap<QString, QString> streamNames{{QStringLiteral("AA"), QStringLiteral("Radio")}};
    for (auto _ : state) {
        auto model = std::make_unique<IniMetafileModel>(type, path, streamNames);
        benchmark::DoNotOptimize(model->rowCount());
        // Only constructing counts; freeing the items is not part of loading.
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}

qint64 StatusField(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

double CpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double FloorOnce(const QString &path)
{
    const double start = CpuMilliseconds();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
        QString line;
        qint64 lines = 0;
        while (stream.readLineInto(&line))
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    return CpuMilliseconds() - start;
}

// Memory of constructing the SFX model: the peak while it loads and what it keeps, measured as
// resident memory (the peak is reset just before) and as allocated heap bytes. Being the first
// load of the process it also gives the time a first load takes, new pages and all.
void ReportFirstLoad(const QString &path, qint64 fileSize)
{
    malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool bPeakReset = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    clearRefs.close();
    const qint64 residentBefore = StatusField("VmRSS:");
    const struct mallinfo2 heapBefore = mallinfo2();
    rusage usageBefore{};
    getrusage(RUSAGE_SELF, &usageBefore);
    const double start = CpuMilliseconds();
    auto model = std::make_unique<IniMetafileModel>(IniMetafileModel::SFX, path, QMap<QString, QString>());
    const double loading = CpuMilliseconds() - start;
    rusage usageAfter{};
    getrusage(RUSAGE_SELF, &usageAfter);
    const double systemMilliseconds = (usageAfter.ru_stime.tv_sec - usageBefore.ru_stime.tv_sec) * 1e3
        + (usageAfter.ru_stime.tv_usec - usageBefore.ru_stime.tv_usec) / 1e3;
    const struct mallinfo2 heapAfter = mallinfo2();
    const qint64 peak = StatusField("VmHWM:") - residentBefore;
    const qint64 kept = StatusField("VmRSS:") - residentBefore;
    const qint64 heapKept = qint64(heapAfter.uordblks + heapAfter.hblkhd)
        - qint64(heapBefore.uordblks + heapBefore.hblkhd);
    const double mb = 1024.0 * 1024.0;
    std::printf("SFX metafile: %.1f MB, %d banks\n", fileSize / mb, model->rowCount());
    if (bPeakReset)
        std::printf("  peak resident growth while loading: %.1f MB = %.2f x file (goal <= %.1f): %s\n",
                    peak / mb, double(peak) / fileSize, memoryGoal,
                    double(peak) / fileSize <= memoryGoal ? "met" : "MISSED");
    else
        std::printf("  peak resident growth: cannot be measured here\n");
    std::printf("  resident growth kept by the model: %.1f MB = %.2f x file\n", kept / mb, double(kept) / fileSize);
    std::printf("  heap kept by the model: %.1f MB = %.2f x file\n", heapKept / mb, double(heapKept) / fileSize);
    const double floor = FloorOnce(path);
    std::printf("  first load of the process: %.1f ms CPU, of it %.1f ms in the system for %ld new pages;"
                " floor %.1f ms: ratio %.2f\n\n",
                loading, systemMilliseconds, usageAfter.ru_minflt - usageBefore.ru_minflt, floor, loading / floor);
}

// Prints the usual table and remembers each benchmark's median CPU time for the ratios.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred)
                times[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString sfxPath = dir.filePath(QStringLiteral("sfx_import.ini"));
    const QString streamPath = dir.filePath(QStringLiteral("stream_import.ini"));
    const QByteArray sfx = SfxMetafile(400, 400);
    WriteFile(sfxPath, sfx);
    WriteFile(streamPath, StreamMetafile(5000));

    ReportFirstLoad(sfxPath, sfx.size());

    // Keep freed memory in the process from here on: otherwise every iteration hands the model's
    // pages back to the system and faults them in again, and on a virtual machine that costs more
    // than loading itself. The floor allocates next to nothing and is not affected.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 25);

    // The small stream file first, before the large one leaves the heap full of freed pieces.
    // Medians of several repetitions: the machine is shared and single runs scatter.
    const auto configure = [](benchmark::internal::Benchmark *pBenchmark) {
        pBenchmark->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
    };
    configure(benchmark::RegisterBenchmark("Stream/FloorReadLines", ReadLines, streamPath));
    configure(benchmark::RegisterBenchmark("Stream/Model", LoadModel, IniMetafileModel::STREAM, streamPath));
    configure(benchmark::RegisterBenchmark("Sfx/FloorReadLines", ReadLines, sfxPath));
    configure(benchmark::RegisterBenchmark("Sfx/Model", LoadModel, IniMetafileModel::SFX, sfxPath));
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n");
    for (const char *kind : {"Stream", "Sfx"}) {
        const auto floor = reporter.times.find(std::string(kind) + "/FloorReadLines");
        const auto model = reporter.times.find(std::string(kind) + "/Model");
        if (floor == reporter.times.end() || model == reporter.times.end() || floor->second <= 0)
            continue;
        const double ratio = model->second / floor->second;
        std::printf("%s: model / floor = %.2f CPU time (goal <= %.1f): %s\n", kind, ratio, timeGoal,
                    ratio <= timeGoal ? "met" : "MISSED");
    }
    return 0;
}
