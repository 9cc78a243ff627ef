// Unpacking and packing a 200 MB stream pack and a 100 MB SFX package with the real tools, and
// listing a package and extracting one sound, each timed against a floor measured in the same run.
// Goals: the stream pack at most 1.5 times copying the same bytes with cp (for packing, cp
// followed by a sync of the copy, since the tool syncs what it writes into the game folder); the
// SFX package at most 2.5 times the bare file work that unpacking and packing its thousands of
// sounds cannot do without: creating the files with their bytes, and gathering them into one (on
// two threads, synced as the tool syncs its package), with no format, no metafile and no safe
// replacing (a file costs this machine far more than its bytes, which cp alone would hide). The
// same copy through a program's own read/write loop, and the SFX steps against cp, are printed
// for reading the figures. Listing a package's entries (-l) at most 1.5 times dd reading the bytes
// it checksums; extracting one entry (-x) at most 2 times dd reading and writing that entry's bytes.
// Opening the SFX package by unpacking at most 1.5 times as long once its entries are marked.
// Start it at least seven minutes after the last mass deletion of files (an earlier run, the test
// suite): some file systems slow down every file created near many recently deleted ones for up
// to six minutes (see RoundFolders), which shows as unpacking, and even packing, several times
// slower than usual.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "app/archive/EntryStates.h"
#include "metafile/IniMetafileModel.h"

using namespace GameAudioFiles;

namespace
{
constexpr double streamGoal = 1.5;
constexpr double sfxGoal = 2.5;
constexpr double listGoal = 1.5;
constexpr double extractGoal = 2.0;
constexpr double marksGoal = 1.5;
constexpr int rounds = 5;
constexpr qint64 megabyte = 1024 * 1024;

bool RunOrSay(const QString &program, const QStringList &arguments, const QString &workingDirectory = QString())
{
    const ToolRun run = Run(program, arguments, workingDirectory);
    if (run.exitCode != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), qPrintable(run.errorText));
    return run.exitCode == 0;
}

struct Step
{
    std::function<void()> prepare; // run before each round, not timed
    std::function<bool()> run;
};

// The median wall time of each step. The steps take turns, round after round, so that all of them
// meet the machine in the same moods: on a virtual machine, filling memory or creating files costs
// several times more at some moments than at others, and cp must not have the good ones alone.
QList<double> MedianSeconds(const QList<Step> &steps)
{
    QList<QList<double>> times(steps.size());
    for (int i = 0; i < rounds; ++i) {
        for (int s = 0; s < steps.size(); ++s) {
            steps[s].prepare();
            QElapsedTimer timer;
            timer.start();
            if (!steps[s].run())
                return QList<double>(steps.size(), -1);
            times[s] << timer.nsecsElapsed() / 1e9;
        }
    }
    QList<double> medians;
    for (QList<double> &stepTimes : times) {
        std::sort(stepTimes.begin(), stepTimes.end());
        medians << stepTimes[rounds / 2];
    }
    return medians;
}

// Reads a file once so every timed run starts with it in the page cache, as cp's does.
void Warm(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        while (!file.read(8 * megabyte).isEmpty()) {
        }
}

// Writes and removes a file of the given size just before a timed step. A round of cp finds the
// memory of the copy it replaces free a moment ago; this gives every other round the same start.
// It matters on a virtual machine that hands free memory back to its host: there, memory freed
// long ago is several times slower to fill than memory freed just now.
void FreeRecentPages(const QString &folder, qint64 bytes)
{
    const QString path = folder + QStringLiteral("/recycled");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QByteArray piece(int(8 * megabyte), '\x55');
    for (qint64 written = 0; written < bytes; written += piece.size())
        file.write(piece);
    file.close();
    QFile::remove(path);
}

// Each round unpacks into a folder of its own, and the rounds' folders go only after the last
// round. Removing the thousands of files of one round just before the next would time the file
// system's clean-up of them instead: ext4 without a journal, for one, does not reuse an inode
// freed in the last minutes, and searches past every such inode for each file it creates.
struct RoundFolders
{
    explicit RoundFolders(const QString &parent) : root(parent) {}
    // A new, empty folder for the next round.
    QString Next()
    {
        current = root + QStringLiteral("/round-") + QString::number(++count);
        QDir().mkpath(current);
        return current;
    }
    QString root;
    QString current;
    int count = 0;
};

bool CopyThroughProgram(const QString &from, const QString &to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    QByteArray buffer(int(megabyte), '\0');
    for (qint64 got; (got = in.read(buffer.data(), buffer.size())) > 0;)
        if (out.write(buffer.constData(), got) != got)
            return false;
    return true;
}

// Prints measured against floor; goal 0 prints the ratio for reading only. False when a step
// failed or the goal is missed.
bool Report(const char *what, qint64 bytes, const char *floorName, double floor, double measured, double goal = 0)
{
    if (floor <= 0 || measured <= 0)
        return false;
    const double ratio = measured / floor;
    std::printf("%-34s %7.1f MB  %-6s %6.3f s  tool %6.3f s  ratio %5.2f", what, bytes / double(megabyte), floorName, floor,
                measured, ratio);
    if (goal > 0)
        std::printf("  (goal <= %.1f) %s", goal, ratio <= goal ? "met" : "NOT MET");
    std::printf("\n");
    return goal <= 0 || ratio <= goal;
}

#ifdef Q_OS_UNIX
// Runs work(0) .. work(count - 1) on two threads, each taking the next index.
void OnTwoThreads(std::size_t count, const std::function<void(std::size_t)> &work)
{
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t i; (i = next++) < count;)
            work(i);
    };
    std::thread helper(worker);
    worker();
    helper.join();
}

struct SoundFiles
{
    std::vector<QByteArray> paths; // encoded for the system
    std::vector<qint64> sizes;
    std::vector<qint64> offsets;   // side by side, as in a package
    qint64 largest = 0;
};

// The files of one kind (".wav", ".ogg") among names, in folder.
SoundFiles ListSounds(const QString &folder, const QStringList &names, QLatin1String suffix = QLatin1String(".wav"))
{
    SoundFiles files;
    qint64 offset = 0;
    for (const QString &name : names) {
        if (!name.endsWith(suffix))
            continue;
        const qint64 size = QFileInfo(folder + '/' + name).size();
        files.paths.push_back(QFile::encodeName(folder + '/' + name));
        files.sizes.push_back(size);
        files.offsets.push_back(offset);
        files.largest = std::max(files.largest, size);
        offset += size;
    }
    return files;
}

// Creates one file for each sound, in a folder for every 80 like the banks, with as many bytes
// of the package.
bool BareUnpack(const QString &package, const SoundFiles &sounds, const QString &target)
{
    const int in = ::open(QFile::encodeName(package).constData(), O_RDONLY);
    if (in < 0)
        return false;
    for (std::size_t i = 0; i < sounds.paths.size(); i += 80)
        QDir().mkpath(target + QStringLiteral("/bank-") + QString::number(i / 80));
    std::atomic<bool> ok{true};
    OnTwoThreads(sounds.paths.size(), [&](std::size_t i) {
        thread_local std::vector<char> buffer;
        buffer.resize(std::size_t(sounds.largest));
        const QByteArray path = QFile::encodeName(target + QStringLiteral("/bank-") + QString::number(i / 80) + QStringLiteral("/")
                                                  + QString::number(i));
        const int out = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        const auto size = std::size_t(sounds.sizes[i]);
        if (out < 0 || ::pread(in, buffer.data(), size, sounds.offsets[i]) != ssize_t(size)
            || ::write(out, buffer.data(), size) != ssize_t(size))
            ok = false;
        if (out >= 0)
            ::close(out);
    });
    ::close(in);
    return ok;
}

// Reads every sound file whole and writes it at its place in one file.
bool BarePack(const SoundFiles &sounds, const QString &target)
{
    const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (out < 0)
        return false;
    std::atomic<bool> ok{true};
    OnTwoThreads(sounds.paths.size(), [&](std::size_t i) {
        thread_local std::vector<char> buffer;
        buffer.resize(std::size_t(sounds.largest));
        const int in = ::open(sounds.paths[i].constData(), O_RDONLY);
        const auto size = std::size_t(sounds.sizes[i]);
        if (in < 0 || ::read(in, buffer.data(), size) != ssize_t(size)
            || ::pwrite(out, buffer.data(), size, sounds.offsets[i]) != ssize_t(size))
            ok = false;
        if (in >= 0)
            ::close(in);
    });
    // The tool puts its package on the disk before it may replace anything; so does the floor.
    if (::fsync(out) != 0)
        ok = false;
    ::close(out);
    return ok;
}
#endif

QByteArray NoiseOgg()
{
    // Noise compresses badly, so a few seconds give a track of a realistic size.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("noise.ogg"));
    const int rate = 32000;
    const int frames = rate * 15;
    QVector<double> interleaved(frames * 2);
    QRandomGenerator random(7);
    for (double &sample : interleaved)
        sample = random.generateDouble() * 0.6 - 0.3;
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = rate;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return {};
    double quality = 1.0;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    sf_writef_double(file, interleaved.constData(), frames);
    sf_close(file);
    return ReadFile(path);
}

bool BenchStreams(const QString &root)
{
    const QString game = root + QStringLiteral("/streams-game");
    QDir().mkpath(game + QStringLiteral("/audio/CONFIG"));
    QDir().mkpath(game + QStringLiteral("/audio/streams"));
    const QByteArray ogg = NoiseOgg();
    if (ogg.isEmpty())
        return false;
    const int trackCount = int(200 * megabyte / (ogg.size() + 8068));
    QList<Track> tracks;
    for (int t = 0; t < trackCount; ++t)
        tracks.append({ogg, {}, 0, 48000});
    QList<quint32> offsets;
    const QString pack = game + QStringLiteral("/audio/streams/BIG");
    WriteFile(pack, StreamPack(tracks, &offsets));
    QList<LookupRecord> records;
    for (const quint32 offset : offsets)
        records.append({0, offset, quint32(ogg.size())});
    const QString lookup = game + QStringLiteral("/audio/CONFIG/TrakLkup.dat");
    WriteFile(lookup, Lookup(records, '\xCD'));
    WriteFile(game + QStringLiteral("/audio/CONFIG/StrmPaks.dat"), NameTable({QStringLiteral("BIG")}, 16));
    const qint64 bytes = QFileInfo(pack).size();
    std::printf("stream pack: %d tracks of %lld bytes\n", trackCount, qint64(ogg.size()));

    const QString tool = QStringLiteral(KIVO_STREAM_PATH);
    const QString work = root + QStringLiteral("/streams-work");
    const QString copy = root + QStringLiteral("/copy");
    RoundFolders unpackFolders(work);
    const auto newWork = [&] { unpackFolders.Next(); Warm(pack); FreeRecentPages(root, bytes); };
    const auto clearCopy = [&] { QFile::remove(copy); Warm(pack); FreeRecentPages(root, bytes); };
    QString unpacked;
    QList<Step> unpackSteps{
        {clearCopy, [&] { return RunOrSay(QStringLiteral("cp"), {pack, copy}); }},
        {clearCopy, [&] { return CopyThroughProgram(pack, copy); }},
        {newWork, [&] {
             unpacked = unpackFolders.current;
             return RunOrSay(tool, {QStringLiteral("-e"), pack, unpacked});
         }},
    };
#ifdef Q_OS_UNIX
    // Creating one file per track with its bytes and nothing else: what no unpacking can go below
    // here, printed to tell the machine's cost of a new file from the tool's.
    SoundFiles trackFiles;
    const auto newBareWork = [&] {
        if (trackFiles.paths.empty())
            trackFiles = ListSounds(unpacked + QStringLiteral("/BIG"), FilesBelow(unpacked + QStringLiteral("/BIG")),
                                    QLatin1String(".ogg"));
        newWork();
    };
    unpackSteps.append({newBareWork, [&] { return BareUnpack(pack, trackFiles, unpackFolders.current); }});
#endif
    const QList<double> unpacking = MedianSeconds(unpackSteps);
    Report("(a program's own copy loop)", bytes, "cp", unpacking[0], unpacking[1]);
#ifdef Q_OS_UNIX
    const QByteArray trackCountText = QByteArray::number(qint64(trackFiles.paths.size()));
    Report(("(bare: create " + trackCountText + " files)").constData(), bytes, "cp", unpacking[0], unpacking[3]);
#endif
    bool ok = Report("unpack 200 MB stream pack", bytes, "cp", unpacking[0], unpacking[2], streamGoal);

    // Packing reads the unpacked tracks and writes a pack of the same size.
    const QString folder = unpacked + QStringLiteral("/BIG");
    const QString newPack = pack + QStringLiteral(".new");
    const auto warmTracks = [&] {
        QFile::remove(newPack);
        for (const QString &f : FilesBelow(folder))
            Warm(folder + '/' + f);
        FreeRecentPages(root, bytes);
    };
    // Packing puts the pack on the disk before it replaces anything, so its floor is cp with a
    // sync of the same bytes.
    const QList<double> packing = MedianSeconds({
        {clearCopy, [&] { return RunOrSay(QStringLiteral("cp"), {pack, copy}); }},
        {warmTracks, [&] {
             return RunOrSay(tool, {QStringLiteral("-i"), newPack, folder + QStringLiteral("/stream_import.ini"), lookup}, folder);
         }},
        {clearCopy, [&] {
             return RunOrSay(QStringLiteral("cp"), {pack, copy}) && RunOrSay(QStringLiteral("sync"), {copy});
         }},
    });
    Report("(pack 200 MB stream pack)", bytes, "cp", packing[0], packing[1]);
    ok = Report("pack 200 MB stream pack", bytes, "cp+sync", packing[2], packing[1], streamGoal) && ok;
    if (ReadFile(newPack) != ReadFile(pack)) {
        std::fprintf(stderr, "the packed stream pack differs from the original\n");
        ok = false;
    }
    // The unpacked tracks stay until the end of the run, for the reason RoundFolders gives.
    return ok;
}

// Opening an archive marks its entries: the toolkit lists the package (its listing not cached yet)
// and the unpacked files are checksummed. Against unpacking, that may add at most half; against
// "Load existing files", which reads the metafile alone, nothing of the kind can be cheap, so the
// floor printed beside it is what any comparison must do: read the package and the files once.
bool BenchMarks(const QString &root, const QString &package, const QString &lookup, const QString &folder,
                double unpackSeconds)
{
    // The program runs the tools from its own folder.
    QFile::link(QStringLiteral(KIVO_SFX_PATH), root + QStringLiteral("/kivo_sfx.exe"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root);
    const QString cache = folder + QLatin1Char('/') + EntryStates::cacheFileName;
    const QStringList files = FilesBelow(folder);
    const auto cold = [&] { QFile::remove(cache); Warm(package); };
    int changed = -1;
    const QList<double> times = MedianSeconds({
        {cold, [&] {
             changed = EntryStates(IniMetafileModel::SFX, package, lookup).Compare(folder).ChangedCount();
             return true;
         }},
        {cold, [&] { return IniMetafileModel(IniMetafileModel::SFX, folder + QStringLiteral("/sfx_import.ini"), {}).EntryCount() > 0; }},
        {cold, [&] {
             bool read = RunOrSay(QStringLiteral("dd"), {QStringLiteral("if=") + package, QStringLiteral("of=/dev/null"),
                                                         QStringLiteral("bs=1M"), QStringLiteral("status=none")});
             for (const QString &file : files)
                 read = !ReadFile(folder + QLatin1Char('/') + file).isNull() && read;
             return read;
         }},
    });
    QDir::setCurrent(previous);
    if (changed != 0) {
        std::fprintf(stderr, "the freshly unpacked package was not all the game's own (%d changed)\n", changed);
        return false;
    }
    const qint64 bytes = QFileInfo(package).size();
    Report("(marks: compare, cold cache)", bytes, "unpack", unpackSeconds, times[0]);
    Report("(load existing files, no marks)", bytes, "unpack", unpackSeconds, times[1]);
    Report("(marks' floor: read package+files)", bytes, "load", times[1], times[2]);
    Report("(load existing files with marks)", bytes, "load", times[1], times[1] + times[0]);
    return Report("open by unpacking, with marks", bytes, "unpack", unpackSeconds, unpackSeconds + times[0], marksGoal);
}

bool BenchSfx(const QString &root)
{
    const QString game = root + QStringLiteral("/sfx-game");
    QDir().mkpath(game + QStringLiteral("/audio/CONFIG"));
    QDir().mkpath(game + QStringLiteral("/audio/SFX"));
    // Banks of 80 sounds of 8 to 80 KB, about what the game's own banks hold.
    QRandomGenerator random(11);
    QList<Bank> banks;
    qint64 total = 0;
    while (total < 100 * megabyte) {
        Bank bank;
        for (int s = 0; s < 80 && total < 100 * megabyte; ++s) {
            const int samples = random.bounded(4096, 40960);
            bank.append({Tone(samples, 200 + 10 * s, 22050, 12000), 22050, -1, -200});
            total += 2 * samples;
        }
        banks.append(bank);
        total += 4804;
    }
    QList<LookupRecord> records;
    const QString package = game + QStringLiteral("/audio/SFX/BIG");
    WriteFile(package, SfxPackage(banks, 0, records));
    banks.clear();
    const QString lookup = game + QStringLiteral("/audio/CONFIG/BankLkup.dat");
    WriteFile(lookup, Lookup(records, '\xCC'));
    WriteFile(game + QStringLiteral("/audio/CONFIG/PakFiles.dat"), NameTable({QStringLiteral("BIG")}, 52));
    const qint64 bytes = QFileInfo(package).size();
    std::printf("SFX package: %lld banks\n", qint64(records.size()));

    const QString tool = QStringLiteral(KIVO_SFX_PATH);
    const QString work = root + QStringLiteral("/sfx-work");
    const QString copy = root + QStringLiteral("/copy");
    RoundFolders unpackFolders(work);
    const auto newWork = [&] { unpackFolders.Next(); Warm(package); FreeRecentPages(root, bytes); };
    const auto clearCopy = [&] { QFile::remove(copy); Warm(package); FreeRecentPages(root, bytes); };
    const auto copyPackage = [&] { return RunOrSay(QStringLiteral("cp"), {package, copy}); };
    QString unpacked;
    QList<Step> unpackSteps{
        {clearCopy, copyPackage},
        {clearCopy, [&] { return CopyThroughProgram(package, copy); }},
        {newWork, [&] {
             unpacked = unpackFolders.current;
             return RunOrSay(tool, {QStringLiteral("-e"), package, unpacked, lookup});
         }},
    };
#ifdef Q_OS_UNIX
    // Bare unpacking creates files of the sizes the first round's unpacking gave.
    SoundFiles soundFiles;
    const auto newBareWork = [&] {
        if (soundFiles.paths.empty())
            soundFiles = ListSounds(unpacked + QStringLiteral("/BIG"), FilesBelow(unpacked + QStringLiteral("/BIG")));
        newWork();
    };
    unpackSteps.append({newBareWork, [&] { return BareUnpack(package, soundFiles, unpackFolders.current); }});
#endif
    const QList<double> unpacking = MedianSeconds(unpackSteps);
    Report("(a program's own copy loop)", bytes, "cp", unpacking[0], unpacking[1]);
    Report("(unpack 100 MB SFX package)", bytes, "cp", unpacking[0], unpacking[2]);
    bool ok = true;

    const QString folder = unpacked + QStringLiteral("/BIG");
    ok = BenchMarks(root, package, lookup, folder, unpacking[2]) && ok;
    const QString newPackage = package + QStringLiteral(".new");
    const QStringList sounds = FilesBelow(folder);
    const QString gathered = root + QStringLiteral("/gathered");
    // Removes what the step writes and reads the sounds once, before each round.
    const auto warmSoundsFor = [&](const QString &output) {
        return [&, output] {
            QFile::remove(output);
            for (const QString &f : sounds)
                Warm(folder + '/' + f);
            FreeRecentPages(root, bytes);
        };
    };
    QList<Step> packSteps{
        {clearCopy, copyPackage},
        {warmSoundsFor(newPackage), [&] {
             return RunOrSay(tool, {QStringLiteral("-i"), newPackage, folder + QStringLiteral("/sfx_import.ini"), lookup}, folder);
         }},
    };
#ifdef Q_OS_UNIX
    const SoundFiles packedFiles = ListSounds(folder, sounds);
    packSteps.append({warmSoundsFor(gathered), [&] { return BarePack(packedFiles, gathered); }});
#endif
    const QList<double> packing = MedianSeconds(packSteps);
    Report("(pack 100 MB SFX package)", bytes, "cp", packing[0], packing[1]);
    if (ReadFile(newPackage) != ReadFile(package)) {
        std::fprintf(stderr, "the packed SFX package differs from the original\n");
        ok = false;
    }
#ifdef Q_OS_UNIX
    const QByteArray files = QByteArray::number(qint64(soundFiles.paths.size()));
    Report(("(bare: create " + files + " files)").constData(), bytes, "cp", unpacking[0], unpacking[3]);
    Report(("(bare: gather " + files + " files)").constData(), bytes, "cp", packing[0], packing[2]);
    ok = Report("unpack 100 MB SFX package", bytes, "bare", unpacking[3], unpacking[2], sfxGoal) && ok;
    ok = Report("pack 100 MB SFX package", bytes, "bare", packing[2], packing[1], sfxGoal) && ok;
    QFile::remove(gathered);
#else
    ok = Report("unpack 100 MB SFX package", bytes, "cp", unpacking[0], unpacking[2], sfxGoal) && ok;
    ok = Report("pack 100 MB SFX package", bytes, "cp", packing[0], packing[1], sfxGoal) && ok;
#endif
    QDir(work).removeRecursively();
    QDir(game).removeRecursively();
    QFile::remove(copy);
    return ok;
}

// Listing a 100 MB SFX package against dd reading the bytes it checksums (all its sound data), and
// extracting its largest sound against dd reading those bytes and writing them: each floor is a
// program started for the job, as the tool is. The package
// holds banks of small sounds and one of a single 30 MB sound, so that the extraction's bytes,
// not the start of a process, are what is timed.
bool BenchListing(const QString &root)
{
    const QString game = root + QStringLiteral("/list-game");
    QDir().mkpath(game + QStringLiteral("/audio/CONFIG"));
    QDir().mkpath(game + QStringLiteral("/audio/SFX"));
    QRandomGenerator random(13);
    QList<Bank> banks;
    for (qint64 total = 0; total < 70 * megabyte; total += 4804) {
        Bank bank;
        for (int s = 0; s < 80 && total < 70 * megabyte; ++s) {
            const int samples = random.bounded(4096, 40960);
            bank.append({Tone(samples, 200 + 10 * s, 22050, 12000), 22050, -1, -200});
            total += 2 * samples;
        }
        banks.append(bank);
    }
    const int bigSamples = int(15 * megabyte);
    banks.append(Bank{{Tone(bigSamples, 440, 44100, 12000), 44100, -1, 0}});
    QList<LookupRecord> records;
    const QString package = game + QStringLiteral("/audio/SFX/BIG");
    WriteFile(package, SfxPackage(banks, 0, records));
    const QString entry = QStringLiteral("Bank_%1/sound_001.wav").arg(banks.size(), 3, 10, QLatin1Char('0'));
    banks.clear();
    const QString lookup = game + QStringLiteral("/audio/CONFIG/BankLkup.dat");
    WriteFile(lookup, Lookup(records, '\xCC'));
    WriteFile(game + QStringLiteral("/audio/CONFIG/PakFiles.dat"), NameTable({QStringLiteral("BIG")}, 52));
    const qint64 bytes = QFileInfo(package).size();
    const qint64 bigBytes = 2 * qint64(bigSamples);
    const qint64 bigOffset = qint64(records.constLast().offset) + 4804;

    const QString tool = QStringLiteral(KIVO_SFX_PATH);
    const QString output = root + QStringLiteral("/extracted.wav");
    const auto warm = [&] { QFile::remove(output); Warm(package); FreeRecentPages(root, bigBytes); };
    QByteArray listing;
    const QList<double> times = MedianSeconds({
        {warm, [&] {
             return RunOrSay(QStringLiteral("dd"), {QStringLiteral("if=") + package, QStringLiteral("of=/dev/null"),
                                                    QStringLiteral("bs=1M"), QStringLiteral("status=none")});
         }},
        {warm, [&] {
             const ToolRun run = Run(tool, {QStringLiteral("-l"), package, lookup});
             listing = run.output;
             return run.exitCode == 0 || (std::fprintf(stderr, "-l failed: %s\n", qPrintable(run.errorText)), false);
         }},
        {warm, [&] {
             return RunOrSay(QStringLiteral("dd"), {QStringLiteral("if=") + package, QStringLiteral("of=") + output,
                                                    QStringLiteral("bs=1M"), QStringLiteral("iflag=skip_bytes,count_bytes"),
                                                    QStringLiteral("skip=%1").arg(bigOffset), QStringLiteral("count=%1").arg(bigBytes),
                                                    QStringLiteral("status=none")});
         }},
        {warm, [&] { return RunOrSay(tool, {QStringLiteral("-x"), package, entry, output, lookup}); }},
    });
    std::printf("SFX package for listing: %lld sounds, the largest %lld bytes\n", qint64(listing.count('\n')), bigBytes);
    bool ok = Report("list 100 MB SFX package", bytes, "dd", times[0], times[1], listGoal);
    ok = Report("extract its largest sound", bigBytes, "dd", times[2], times[3], extractGoal) && ok;
    if (QFileInfo(output).size() != bigBytes + 44) {
        std::fprintf(stderr, "the extracted sound is not the entry's WAV file\n");
        ok = false;
    }
    QDir(game).removeRecursively();
    QFile::remove(output);
    return ok;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/bench_Toolkit-XXXXXX"));
    if (!root.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }
    std::printf("median of %d runs each; files in %s\n", rounds, qPrintable(root.path()));
    const bool streams = BenchStreams(root.path());
    const bool sfx = BenchSfx(root.path());
    const bool listing = BenchListing(root.path());
    return streams && sfx && listing ? 0 : 1;
}
