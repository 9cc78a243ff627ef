#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <limits>
#include <memory>

#include <ogg/ogg.h>
#include <sndfile.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "GameAudioFiles.h"
#include "format/OggTrackFile.h"
#include "game/PathCase.h"

using namespace GameAudioFiles;

namespace
{
const QStringList packageNames = {"FEET", "GENRL", "PAIN_A"};
const QStringList slotNames = {"AA", QString(), "BEATS", "CH"}; // StrmPaks.dat, with an empty slot
// Which lookup records count the 8,068-byte track header in their size: both conventions occur.
const QMap<QString, QList<bool>> sizeWithHeader = {{"AA", {false, false}}, {"BEATS", {true, true}}, {"CH", {false, true, false}}};

// A saw over most of the range, with both extremes at its ends.
QVector<qint16> Sweep(int count)
{
    QVector<qint16> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = i == 0 ? qint16(-32768) : i == count - 1 ? qint16(32767) : qint16((i * 97) % 60000 - 30000);
    return samples;
}

// BankSlot.dat with these slot sizes; every byte the tools must keep as it is holds 0x5A, and the
// offsets are stale unless they are to be the running sums the game computes.
using SlotSizes = QList<quint32>;
QByteArray BankSlots(const SlotSizes &sizes, bool bRunningOffsets)
{
    QByteArray bytes(2 + sizes.size() * 4820, '\x5A');
    qToLittleEndian(quint16(sizes.size()), bytes.data());
    quint32 offset = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        PutU32(bytes, 2 + i * 4820, bRunningOffsets ? offset : 7777u * quint32(i + 3));
        PutU32(bytes, 2 + i * 4820 + 4, sizes[i]);
        offset += sizes[i];
    }
    return bytes;
}

// The pages of an Ogg file, each with its header; from garbledFrom on filled with noise, each
// with a checksum that fits it again.
QList<QByteArray> OggPages(const QByteArray &ogg, int garbledFrom = std::numeric_limits<int>::max())
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    std::copy(ogg.begin(), ogg.end(), ogg_sync_buffer(&sync, long(ogg.size())));
    ogg_sync_wrote(&sync, long(ogg.size()));
    QList<QByteArray> pages;
    quint32 noise = 12345;
    for (ogg_page page; ogg_sync_pageout(&sync, &page) == 1;) {
        for (long i = 0; pages.size() >= garbledFrom && i < page.body_len; ++i)
            page.body[i] = static_cast<unsigned char>((noise = noise * 1103515245u + 12345u) >> 16);
        ogg_page_checksum_set(&page);
        pages << QByteArray(reinterpret_cast<const char *>(page.header), page.header_len)
                     + QByteArray(reinterpret_cast<const char *>(page.body), page.body_len);
    }
    ogg_sync_clear(&sync);
    return pages;
}

// A game folder (its "audio/CONFIG" and the folder of one kind of archive) and a working folder,
// for running one tool; the archives' sound files unpack to <work>/<name>/.
struct ToolGame
{
    ToolGame(const char *tool, const char *archives, const char *lookupName, const char *nameTable, const char *metafileName)
        : tool(tool), archives(archives), lookupName(lookupName), nameTable(nameTable), metafileName(metafileName)
    {
        for (const QString &folder : QStringList{"game/audio/CONFIG", "game/audio/" + this->archives, "work"})
            QDir(dir.path()).mkpath(folder);
    }
    virtual ~ToolGame() = default;
    QString Game() const { return dir.filePath("game"); }
    QString Work() const { return dir.filePath("work"); }
    QString Config(const QString &file) const { return Game() + "/audio/CONFIG/" + file; }
    QString LookupPath() const { return Config(lookupName); }
    QString Archive(const QString &name) const { return Game() + "/audio/" + archives + "/" + name; }
    QString Metafile(const QString &name) const { return Work() + "/" + name + "/" + metafileName; }
    // Unpacks the named archives into Work(); the SFX tool also gets the lookup file.
    QStringList ExportArguments(const QStringList &names) const
    {
        QStringList arguments{"-e"};
        for (const QString &name : names)
            arguments << Archive(name);
        arguments << Work();
        return archives == "SFX" ? arguments << LookupPath() : arguments;
    }
    // Packs <work>/<name> into Archive(name) + ".new", as the program does before it swaps them, or in place.
    QStringList ImportArguments(const QString &name, bool bInPlace = false) const { return {"-i", Archive(name) + (bInPlace ? "" : ".new"), Metafile(name), LookupPath()}; }
    ToolRun Export(const QStringList &names, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        return Run(tool, ExportArguments(names), QString(), environment);
    }
    ToolRun Import(const QString &name, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                   bool bInPlace = false) const
    {
        return Run(tool, ImportArguments(name, bInPlace), Work() + "/" + name, environment);
    }
    // Runs the tool until it says it waits at point, and kills it there; returns what it said.
    QByteArray KilledAt(const QString &point, const QStringList &arguments, const QString &folder,
                        QProcessEnvironment environment) const
    {
        QProcess process;
        environment.insert("KIVO_TEST_PAUSE", point);
        process.setProcessEnvironment(environment);
        process.setReadChannel(QProcess::StandardError);
        process.setWorkingDirectory(folder);
        process.start(tool, arguments);
        QByteArray said;
        while (process.waitForStarted() && !said.contains("paused at") && process.waitForReadyRead(20000))
            said += process.readAllStandardError();
        process.kill();
        process.waitForFinished();
        return said;
    }
    // Cases the folders and files that name (and the tables beside the lookup file) otherwise than
    // the command line gives them, as in a game folder copied from Windows.
    bool CaseOtherwise(const QString &name) const
    {
        const QString config = "audio/CONFIG/", folder = "audio/" + archives;
        const QStringList renames{folder + "/" + name, folder + "/" + name.toLower(), folder,
                                  "audio/" + archives.left(1).toUpper() + archives.mid(1).toLower(), config + lookupName,
                                  config + lookupName.toUpper(), config + nameTable, config + nameTable.toLower(),
                                  "audio/CONFIG", "audio/config", "audio", "Audio"};
        bool bRenamed = true;
        for (int i = 0; i < renames.size(); i += 2)
            bRenamed = bRenamed && QDir(Game()).rename(renames[i], renames[i + 1]);
        return bRenamed;
    }

    // The archive and the lookup file the tools must write for the content as it is now.
    virtual QByteArray Expected(const QString &name) const = 0;
    virtual QByteArray ExpectedLookup() const = 0;
    // Writes file in place of entry (SFX: sound 2 of bank 1, becoming sound) of the unpacked name.
    virtual bool Replace(const QString &name, int entry, const QByteArray &file, const Sound &sound) = 0;

    QTemporaryDir dir;
    QString tool;
    QString archives;
    QString lookupName;
    QString nameTable;
    QString metafileName;
    QByteArray lookupBytes;
    QMap<QString, QByteArray> originals; // the archives as written, by name
};

// Three packages in the stock layout and BankSlot.dat; most tests work on GENRL, the other two
// check that their records and files stay untouched.
struct SfxGame : ToolGame
{
    SfxGame() : ToolGame(KIVO_SFX_PATH, "SFX", "BankLkup.dat", "PakFiles.dat", "sfx_import.ini")
    {
        banks["FEET"] = {{{Tone(500, 440, 16000, 8000), 16000, -1, -125}, {Tone(300, 880, 16000, 4000), 16000, -1, -125}}};
        banks["GENRL"] = {
            {{Tone(1000, 440, 22050, 12000), 22050, -1, -200}, {Sweep(800), 12000, 100, 6229}, {Sweep(400), 8000, -1, 0}},
            {{{}, 12000, -1, -200}, {Tone(200, 100, 2021, 1000), 2021, 0, 17}},
            {{Tone(600, 300, 48000, 30000), 48000, 0, -32768}, {Tone(50, 1000, 65535, 32767), 65535, 49, 32767}},
        };
        // The long sound is copied in several pieces; banks without sounds come before and after.
        banks["PAIN_A"] = {{}, {{Tone(100, 200, 12000, 500), 12000, -1, 0}, {Sweep(300000), 44100, -1, 0}}, {}, {}};
        for (const QString &name : packageNames) {
            originals[name] = Expected(name);
            WriteFile(Archive(name), originals[name]);
        }
        lookupBytes = ExpectedLookup();
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config(nameTable), NameTable(packageNames, 52));
        // Slots around the sizes of GENRL's first bank (4,400 bytes) and its sound 2 (1,600 bytes).
        WriteFile(Config("BankSlot.dat"), slotBytes);
        QFile slotsFile(Config("BankSlot.dat"));
        slotsFile.open(QIODevice::ReadWrite) && slotsFile.setFileTime(slotsWritten, QFileDevice::FileModificationTime);
    }

    QByteArray Expected(const QString &name) const override
    {
        QList<LookupRecord> records;
        return SfxPackage(banks[name], quint8(packageNames.indexOf(name)), records);
    }
    QByteArray ExpectedLookup() const override
    {
        QList<LookupRecord> records;
        for (int i = 0; i < packageNames.size(); ++i)
            SfxPackage(banks[packageNames[i]], quint8(i), records);
        return Lookup(records, '\xCC');
    }
    bool Replace(const QString &name, int entry, const QByteArray &file, const Sound &sound) override
    {
        Sound &replaced = banks[name][0][entry - 1];
        replaced = {sound.samples, sound.rate, sound.loop, replaced.headroom};
        return WriteFile(Work() + "/" + name + QString("/Bank_001/sound_%1.wav").arg(entry, 3, 10, QLatin1Char('0')), file);
    }

    QMap<QString, QList<Bank>> banks;
    const QByteArray slotBytes = BankSlots({1000, 1600, 3000, 4400, 5000, 7000, 8800, 10000}, false);
    const QDateTime slotsWritten = QDateTime(QDate(2004, 10, 26), QTime(12, 0));
};

// Three packs as the game keeps them, with a beat track whose length sits in slot 1.
struct StreamGame : ToolGame
{
    StreamGame() : ToolGame(KIVO_STREAM_PATH, "streams", "TrakLkup.dat", "StrmPaks.dat", "stream_import.ini")
    {
        tracks["AA"] = {{OggVorbis(0.3, 440), {}, 0, 48000}, {OggVorbis(0.2, 660), {}, 0, 48000}};
        tracks["BEATS"] = {{OggVorbis(0.4, 220), {{100, 3}, {250, 4}, {400, 9}}, 1, 0},
                           {OggVorbis(0.2, 330, 2, 24000), {}, 0, 24000}};
        tracks["CH"] = {{OggVorbis(0.2, 523), {}, 0, 48000}, {OggVorbis(0.3, 587), {}, 0, 0},
                        {OggVorbis(0.25, 659), {}, 0, 25137}};
        for (const QString &name : slotNames.filter(QRegularExpression("."))) {
            originals[name] = Expected(name);
            WriteFile(Archive(name), originals[name]);
        }
        lookupBytes = ExpectedLookup();
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config(nameTable), NameTable(slotNames, 16));
    }

    QByteArray Expected(const QString &name) const override { return StreamPack(tracks[name]); }
    // The packs in the order of their slots.
    QByteArray ExpectedLookup() const override
    {
        QList<LookupRecord> records;
        for (int slot = 0; slot < slotNames.size(); ++slot) {
            QList<quint32> offsets;
            const QList<Track> packTracks = tracks.value(slotNames[slot]);
            StreamPack(packTracks, &offsets);
            for (int t = 0; t < offsets.size(); ++t) {
                const quint32 length = quint32(packTracks[t].ogg.size());
                records.append({quint8(slot), offsets[t], sizeWithHeader[slotNames[slot]][t] ? length + 8068 : length});
            }
        }
        return Lookup(records, '\xCD');
    }
    bool Replace(const QString &name, int entry, const QByteArray &file, const Sound &) override
    {
        tracks[name][entry - 1].ogg = file;
        return WriteFile(Work() + "/" + name + QString("/Track_%1.ogg").arg(entry, 3, 10, QLatin1Char('0')), file);
    }

    QMap<QString, QList<Track>> tracks;
};

std::unique_ptr<ToolGame> MakeGame(bool bSfx)
{
    return bSfx ? std::unique_ptr<ToolGame>(new SfxGame) : std::make_unique<StreamGame>();
}

// What the tool reads, as a damage leaves it: the archive (a stream pack decoded), the lookup
// file, when packing the unpacked archive's metafile, or else a command line of its own; and what
// the run meets besides.
struct Inputs
{
    QByteArray archive;
    QByteArray lookup;
    QString metafile;
    QStringList arguments;
    int exitCode = 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    std::shared_ptr<void> held; // kept until the run is over: a lock, an attribute
    QString skip;               // why this system cannot make the damage
};
using Damage = std::function<void(ToolGame &, Inputs &)>;
}

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(Sound)

// Both tools over game folders written independently of them: round trips byte for byte, and damaged input refused.
class TestToolkit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(demo.isValid() && QDir(demo.path()).mkpath("program"));
        const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {demo.filePath("game"), demo.filePath("program")});
        QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
    }

    void ListingAndExtractingMatchUnpacking_data()
    {
        QTest::addColumn<QString>("archive"); // in the demo game's audio/
        for (const QString &kind : {QStringLiteral("SFX"), QStringLiteral("streams")}) {
            for (const QString &name : QDir(demo.filePath("game/audio/" + kind)).entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(kind + "/" + name)) << kind + "/" + name;
        }
    }

    // Every entry of every demo archive: -l names each file -e writes, with its size, the checksum of
    // its bytes and (sounds) the loop start -e notes, in -e's order; -x writes each one byte for byte.
    void ListingAndExtractingMatchUnpacking()
    {
        QFETCH(QString, archive);
        const bool bSfx = archive.startsWith("SFX/");
        const QString tool = bSfx ? KIVO_SFX_PATH : KIVO_STREAM_PATH;
        const QString archivePath = demo.filePath("game/audio/" + archive);
        const QStringList lookup = bSfx ? QStringList{demo.filePath("game/audio/CONFIG/BankLkup.dat")} : QStringList();
        QTemporaryDir work;
        const ToolRun unpacked = Run(tool, QStringList{"-e", archivePath, work.path()} + lookup);
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.errorText));
        const QString folder = work.filePath(QFileInfo(archive).fileName());
        const QSettings metafile(folder + (bSfx ? "/sfx_import.ini" : "/stream_import.ini"), QSettings::IniFormat);
        QStringList written = FilesBelow(folder).filter(bSfx ? ".wav" : ".ogg");
        written.sort();

        const ToolRun listed = Run(tool, QStringList{"-l", archivePath} + lookup);
        QVERIFY2(listed.exitCode == 0 && listed.errorText.isEmpty(), qPrintable(listed.errorText));
        QStringList names;
        for (const QByteArray &line : listed.output.chopped(1).split('\n')) {
            const QStringList fields = QString::fromUtf8(line).split('\t');
            QCOMPARE(fields.size(), bSfx ? 4 : 3);
            const QString &name = fields[0];
            names << name;
            const QByteArray file = ReadFile(folder + "/" + name);
            QCOMPARE(fields[1], QString::number(file.size()));
            kivo::TrackChecksum checksum;
            checksum.Feed(reinterpret_cast<const unsigned char *>(file.constData()), std::size_t(file.size()));
            QCOMPARE(fields[2], QString::fromStdString(checksum.Text()));
            // A sound's loop start, and a track's checksum, as the metafile notes them.
            const QString key = bSfx ? name.section('.', 0, 0) + ".loop_offset" : name.section('.', 0, 0) + "/export_checksum";
            QCOMPARE(fields.value(3, fields[2]), metafile.value(key).toString());

            const ToolRun extract = Run(tool, QStringList{"-x", archivePath, name, work.filePath("extracted")} + lookup);
            QVERIFY2(extract.exitCode == 0 && extract.errorText.isEmpty(), qPrintable(extract.errorText));
            QVERIFY2(ReadFile(work.filePath("extracted")) == file, qPrintable(name));
        }
        // Names sort as -e numbers them, so this is -e's order, and nothing is missing or twice.
        QCOMPARE(names, written);
    }

    void PackingReproducesTheGame_data()
    {
        QTest::addColumn<bool>("bSfx");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("testSwitch");     // an environment variable the tools take for tests
        QTest::addColumn<QString>("before");         // where an earlier run was killed; "removed": no archive to
                                                     // replace; "no tables": unpacked without the lookup file;
                                                     // "cased otherwise": names on disk differ in case;
                                                     // "another packing": FEET packs at the same time
        QTest::addColumn<int>("entry");              // replaced before packing (0: none) by:
        QTest::addColumn<QByteArray>("replacement");
        QTest::addColumn<Sound>("expected");         // what a sound becomes
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<SlotSizes>("slotsAfter");   // BankSlot.dat's slot sizes after; empty: untouched
        const auto same = [](const char *row, const char *name, const char *before = "", const char *testSwitch = "") {
            QTest::newRow(row) << packageNames.contains(name) << QString(name) << QString(testSwitch) << QString(before) << 0
                               << QByteArray() << Sound() << QStringList() << SlotSizes();
        };
        // GENRL's sound 2 in bank 1 replaced by a file that holds the expected samples, each repeated
        // rate / expected.rate times, on two channels that differ but average to it when stereo.
        const auto sound = [](const char *row, int format, int channels, int rate, const Sound &expected, const QStringList &warnings,
                              const SlotSizes &slotsAfter = {}, const char *before = "") {
            QVector<qint16> interleaved;
            for (const qint16 sample : expected.samples) {
                for (int r = 0; r < rate / expected.rate; ++r)
                    interleaved << (channels == 1 ? QVector<qint16>{sample} : QVector<qint16>{qint16(sample + 512), qint16(sample - 512)});
            }
            QTemporaryDir folder;
            const QString path = folder.filePath("replacement");
            const QByteArray file = WriteSoundFile(path, format, channels, rate, interleaved) ? ReadFile(path) : QByteArray();
            QTest::newRow(row) << true << QString("GENRL") << QString() << QString(before) << 2 << file << expected << warnings
                               << slotsAfter;
        };
        const auto track = [](const char *row, const char *name, int entry, const QByteArray &ogg, const QStringList &warnings = {}) {
            QTest::newRow(row) << false << QString(name) << QString() << QString() << entry << ogg << Sound() << warnings << SlotSizes();
        };
        // Where the system cannot copy between two files (another system, another disk), sound data
        // passes through the tool's memory instead.
        same("SFX, long sound, copied through memory", "PAIN_A", "", "KIVO_TEST_PLAIN_COPY");
        // The tools write beside the files that exist, and find sound files named in another case.
        same("SFX, game folder cased otherwise", "GENRL", "cased otherwise");
        same("SFX, after a kill while unpacking", "GENRL", "rename");
        same("SFX, after a kill while writing the package", "GENRL", "archive");
        // The package must be complete before the lookup file that describes it is replaced.
        same("SFX, after a kill before the lookup file is replaced", "GENRL", "lookup");
        // Where files cannot be created without a name, a killed run leaves its temporary, which
        // must neither stand in the way of the next nor outlive it.
        same("SFX, after a kill, named temporaries", "GENRL", "archive", "KIVO_TEST_NAMED_TEMPORARIES");

        const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        // The replaced sound is 800 samples long and loops from sample 100. Grown to 6,000 bytes, it
        // takes its bank from 4,400 to 8,800: slots of at least the old sizes grow to the new ones,
        // the smallest and the largest stay.
        const Sound longer{Tone(3000, 330, 11025, 20000), 11025, 100};
        const QStringList grown{"plays at 11025 Hz instead of 12000 Hz", "grew from",
                                "BankSlot.dat: 5 of 8 sound buffer slots grew to hold the larger banks and sounds of GENRL; "
                                "the game's sound buffer grows from 40800 to 58200 bytes"};
        const SlotSizes grownSlots{1000, 6000, 6000, 8800, 8800, 8800, 8800, 10000};
        sound("SFX, longer, loop kept", pcm16, 1, 11025, longer, grown, grownSlots);
        sound("SFX, longer, while another package packs", pcm16, 1, 11025, longer, grown, grownSlots, "another packing");
        sound("SFX, longer, packed in place", pcm16, 1, 11025, longer, grown, grownSlots, "in place");
        // With no package to replace, the slots stay as they are, and the warning says so.
        sound("SFX, longer, package built afresh", pcm16, 1, 11025, longer,
              {"plays at 11025 Hz instead of 12000 Hz", "grew from 4400 to 8800 bytes; the game's sound buffers may not hold it"}, {},
              "removed");
        sound("SFX, empty", pcm16, 1, 12000, {{}, 12000, -1}, {"no longer loops"});
        // Shorter than its loop start of 100, it still loops, from its start: the bank header holds 0.
        sound("SFX, shorter than its loop start", pcm16, 1, 12000, {Sweep(50), 12000, 0},
              {"Bank_001/sound_002.wav: the loop start 100 lies beyond the new sound's end (50 frames), so the sound loops from its start now"});
        QVector<qint16> steps;
        for (int i = 0; i < 500; ++i)
            steps << qint16(((i * 37) % 201 - 100) * 256);
        sound("SFX, stereo float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, {steps, 44100, 100},
              {"was converted", "plays at 44100 Hz instead of 12000 Hz"});
        sound("SFX, mono 16-bit at 96 kHz", pcm16, 1, 96000, {steps, 48000, 100},
              {"was converted", "plays at 48000 Hz instead of 12000 Hz"});

        same("stream, no tables beside the pack at export", "CH", "no tables");
        same("stream, game folder cased otherwise", "CH", "cased otherwise");
        same("stream, after a kill before the lookup file is replaced", "CH", "lookup");
        track("stream, longer, lookup size with header", "CH", 2, OggVorbis(1.0, 880));
        track("stream, shorter, first track", "CH", 1, OggVorbis(0.05, 880));
        track("stream, beat track", "BEATS", 1, OggVorbis(0.6, 880), {"the beats are kept"});
        track("stream, mono 44.1 kHz", "AA", 2, OggVorbis(0.3, 880, 1, 44100), {"untested in the game"});
    }

    void PackingReproducesTheGame()
    {
        QFETCH(bool, bSfx);
        QFETCH(QString, name);
        QFETCH(QString, testSwitch);
        QFETCH(QString, before);
        QFETCH(int, entry);
        QFETCH(QByteArray, replacement);
        QFETCH(Sound, expected);
        QFETCH(QStringList, warnings);
        QFETCH(SlotSizes, slotsAfter);
        const std::unique_ptr<ToolGame> game = MakeGame(bSfx);
        // The fixture itself must encode as the game does: two unused beat entries open every pack.
        QVERIFY(bSfx || game->originals["AA"].startsWith(QByteArray::fromHex("15C53B5E9AA814F3B74F28DC9DE8FFF1")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!testSwitch.isEmpty())
            environment.insert(testSwitch, "1");
        // Unpacking again writes over every file: a run killed between naming a file's temporary and
        // the rename leaves that temporary, and the next run must take it away.
        if (before == "rename") {
            QCOMPARE(game->Export({name}, environment).exitCode, 0);
            QVERIFY(game->KilledAt(before, game->ExportArguments({name}), QString(), environment).startsWith("paused at rename"));
            QCOMPARE(FilesBelow(game->Work()).filter(".kivo-").size(), 1);
        }
        const bool bCased = before == "cased otherwise";
        QVERIFY(!bCased || game->CaseOtherwise(name));
        const bool bTables = before != "no tables";
        QTemporaryDir elsewhere;
        // A target folder that is not there yet is made.
        QVERIFY(bTables || (QFile::copy(game->Archive(name), elsewhere.filePath(name)) && QDir(game->Work()).removeRecursively()));
        const QStringList unpacking = bTables ? game->ExportArguments(game->originals.keys())
                                              : QStringList{"-e", elsewhere.filePath(name), game->Work()};
        const ToolRun unpacked = Run(game->tool, unpacking, QString(), environment);
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.errorText));
        QCOMPARE(FilesBelow(game->Work()).filter(".kivo-"), QStringList());
        // Killed while packing: the game's files stay as they were, the ".new" archive is whole once
        // the tool reached the lookup file and absent before, and no temporary is left unless the
        // environment asks for named ones.
        if (before == "archive" || before == "lookup") {
            const QByteArray said = game->KilledAt(before, game->ImportArguments(name), game->Work() + "/" + name, environment);
            QVERIFY2(said.contains("paused at " + before.toLatin1()), said.constData());
            QCOMPARE(ReadFile(game->LookupPath()), game->lookupBytes);
            QVERIFY(!QFile::exists(game->LookupPath() + ".bak"));
            QCOMPARE(ReadFile(game->Archive(name)), game->originals[name]);
            QCOMPARE(QFile::exists(game->Archive(name) + ".new"), before == "lookup");
            QVERIFY(before != "lookup" || ReadFile(game->Archive(name) + ".new") == game->originals[name]);
            const QStringList temporaries = FilesBelow(game->Game()).filter(".kivo-");
            QVERIFY2(temporaries.isEmpty() != environment.contains("KIVO_TEST_NAMED_TEMPORARIES"), qPrintable(temporaries.join(", ")));
        }
        // Names inside the metafile, and the metafile's own name, may differ in case too.
        QDir unpackedDir(game->Work() + "/" + name);
        const QString firstListed = unpackedDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name).value(0);
        QVERIFY(!bCased || (unpackedDir.rename(firstListed, firstListed.toUpper())
                            && unpackedDir.rename(game->metafileName, game->metafileName.toUpper())));
        const bool bFresh = before == "removed";
        QVERIFY(!bFresh || QFile::remove(game->Archive(name)));
        QVERIFY(entry == 0 || game->Replace(name, entry, replacement, expected));

        // Another package packed at once, shorter: one run waits for the other's lock, and each must
        // find the other's records in place.
        const bool bOther = before == "another packing";
        QProcess other;
        if (bOther) {
            Sound &feet = static_cast<SfxGame &>(*game).banks["FEET"][0][0];
            feet.samples.resize(100);
            QVERIFY(WriteSoundFile(game->Work() + "/FEET/Bank_001/sound_001.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, feet.rate,
                                   feet.samples));
            other.setWorkingDirectory(game->Work() + "/FEET");
            other.start(game->tool, game->ImportArguments("FEET"));
        }

        const bool bInPlace = before == "in place";
        const ToolRun run = game->Import(name, environment, bInPlace);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(!bOther || (other.waitForFinished() && other.exitCode() == 0), other.readAllStandardError().constData());
        for (const QString &warning : warnings)
            QVERIFY2(run.errorText.contains(warning), qPrintable(run.errorText));
        // And no warning of a kind the row does not expect.
        for (const char *kind : {"grew from", "no longer loops", "loops from its start", "was converted", "sound buffer", "BankSlot.dat", "beats", "untested",
                                 "plays at"})
            QVERIFY2(run.errorText.contains(kind) == warnings.join(' ').contains(kind), qPrintable(run.errorText));
        const auto read = [bCased](const QString &path) { return ReadFile(bCased ? ResolvePathCase(path) : path); };
        // Left beside the archive by hand, the new archive is named as what the lookup file describes now.
        QCOMPARE(run.errorText.contains(" now describes " + name + ".new, not "), !bFresh && !bInPlace);
        QCOMPARE(read(game->Archive(name) + (bInPlace ? "" : ".new")), game->Expected(name));
        // Only the archive's own records follow its new layout, each in its own size convention;
        // every other byte stays.
        QCOMPARE(read(game->LookupPath()), game->ExpectedLookup());
        // The backup is the lookup file as the save before left it; of two at once, the first is that save.
        if (!bOther)
            QCOMPARE(read(game->LookupPath() + ".bak"), game->lookupBytes);
        for (const QString &archive : game->originals.keys())
            QCOMPARE(read(game->Archive(archive)), archive != name ? game->originals[archive] : bFresh ? QByteArray()
                                                 : bInPlace ? game->Expected(name) : game->originals[name]);
        // The archives and the new one: the temporary a killed run left is gone with the next run.
        QVERIFY(!bOther || read(game->Archive("FEET") + ".new") == game->Expected("FEET"));
        QCOMPARE(FilesBelow(ResolvePathCase(game->Archive(""))).size(), game->originals.size() + (bFresh || bInPlace ? 0 : 1) + (bOther ? 1 : 0));
        QCOMPARE(QDir(game->Game()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
        QCOMPARE(FilesBelow(game->Game()).filter(".journal"), QStringList());
        if (!bSfx)
            return;
        // BankSlot.dat is rewritten only when a slot grows; else the game's own stays, its date too.
        const auto &sfx = static_cast<const SfxGame &>(*game);
        const QString slotsPath = ResolvePathCase(game->Config("BankSlot.dat"));
        QCOMPARE(ReadFile(slotsPath), slotsAfter.isEmpty() ? sfx.slotBytes : BankSlots(slotsAfter, true));
        QCOMPARE(ReadFile(slotsPath + ".bak"), slotsAfter.isEmpty() ? QByteArray() : sfx.slotBytes);
        QVERIFY(!slotsAfter.isEmpty() || QFileInfo(slotsPath).lastModified() == sfx.slotsWritten);
    }

    void RefusesBadInputWithoutWriting_data()
    {
        QTest::addColumn<bool>("bSfx");
        QTest::addColumn<bool>("packing");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("message");
        const auto row = [](bool bSfx, bool packing) {
            return [=](const char *name, const Damage &damage, const char *message) {
                QTest::addRow("%s, %s", bSfx ? "SFX" : "stream", name) << bSfx << packing << damage << QString(message);
            };
        };
        const auto sfxUnpacking = row(true, false), sfxPacking = row(true, true);
        const auto streamUnpacking = row(false, false), streamPacking = row(false, true);
        // A wrong command line is refused (with exit code 2) before anything is read.
        const auto usage = [](const QStringList &arguments) {
            return [=](auto &, auto &in) { in.arguments = arguments, in.exitCode = 2; };
        };
        for (const QStringList &arguments : {QStringList{"-e", "target", "BankLkup.dat"}, QStringList{"-i", "a", "b", "c", "d"},
                                             QStringList{"-l", "package"}, QStringList{"-l", "a", "b", "c"},
                                             QStringList{"-x", "package", "entry", "BankLkup.dat"}})
            sfxUnpacking(qPrintable(arguments.join(' ')), usage(arguments), "usage");
        for (const QStringList &arguments : {QStringList{"-e", "target"}, QStringList{"-r", "pack", "target"}, QStringList{"-i", "a", "b"},
                                             QStringList{"-l"}, QStringList{"-l", "a", "b"}, QStringList{"-x", "pack", "entry"}})
            streamUnpacking(qPrintable(arguments.join(' ')), usage(arguments), "usage");
        // An entry is named exactly as -l prints it; any other name is an entry the archive does not have.
        const auto extract = [](const char *entry, const char *output = "work/entry") {
            return [=](ToolGame &g, Inputs &in) {
                const QString archive = g.Archive(g.archives == "SFX" ? "GENRL" : "CH");
                const QString outputPath = QString(output) == "archive" ? archive : g.dir.filePath(output);
                in.arguments = QStringList{"-x", archive, entry, outputPath};
                if (g.archives == "SFX")
                    in.arguments << g.LookupPath();
            };
        };
        sfxUnpacking("extract, bank beyond the package", extract("Bank_004/sound_001.wav"), "GENRL has no entry \"Bank_004/sound_001.wav\"");
        sfxUnpacking("extract, sound beyond its bank", extract("Bank_002/sound_003.wav"), "GENRL has no entry");
        sfxUnpacking("extract, number not padded", extract("Bank_1/sound_1.wav"), "GENRL has no entry");
        sfxUnpacking("extract, over the package", extract("Bank_001/sound_001.wav", "archive"), "is an input of this run");
        sfxUnpacking("extract, into a missing folder", extract("Bank_001/sound_001.wav", "no/entry"), "no/entry");
        streamUnpacking("extract, track beyond the pack", extract("Track_004.ogg"), "CH has no entry \"Track_004.ogg\"");
        streamUnpacking("extract, name leading out", extract("../CH/Track_001.ogg"), "CH has no entry");
        streamUnpacking("extract, over the pack", extract("Track_001.ogg", "archive"), "is an input of this run");
        const auto ChTracks = [](ToolGame &game) { return static_cast<StreamGame &>(game).tracks["CH"]; };
        // Each edit replaces one line or section name of the metafile.
        const auto edit = [](const char *from, const char *to) {
            return [=](auto &, auto &in) { in.metafile.replace(QLatin1String(from), QLatin1String(to)); };
        };
        const int sound2 = 4 + 12; // the descriptor of bank 1, sound 2 in GENRL
        const auto pakFiles = [](ToolGame &game, const QByteArray &bytes) { WriteFile(game.Config("PakFiles.dat"), bytes); };
        sfxUnpacking("truncated package", [](auto &, auto &in) { in.archive.chop(100); }, "beyond the end of the package");
        // Offset and size add up beyond 32 bits.
        sfxUnpacking("bank size beyond the file", [](auto &, auto &in) { PutU32(in.lookup, 3 * 12 + 8, 0xFFFFFFF0u); }, "beyond the end of the package");
        sfxUnpacking("65535 sounds", [](auto &, auto &in) { in.archive[0] = in.archive[1] = '\xFF'; }, "claims 65535 sounds");
        sfxUnpacking("lookup of the wrong size", [](auto &, auto &in) { in.lookup.append("12345"); },
                     "not a whole number of 12-byte records");
        sfxUnpacking("lookup of 65536 records", [](auto &, auto &in) { in.lookup.append(QByteArray(12 * 65536 - in.lookup.size(), '\x09')); },
                     "more than 65535 records");
        sfxUnpacking("descending sound offsets", [](auto &, auto &in) { PutU32(in.archive, sound2 + 12, 2); },
                     "starts before the sound in front of it");
        sfxUnpacking("odd sound offset", [](auto &, auto &in) { PutU32(in.archive, sound2, 2001); }, "odd byte");
        sfxUnpacking("sound beyond its bank", [](auto &, auto &in) { PutU32(in.archive, sound2 + 12, 1000000); }, "beyond the bank");
        sfxUnpacking("sample rate 0", [](auto &, auto &in) { in.archive[sound2 + 8] = in.archive[sound2 + 9] = 0; }, "sample rate of 0");
        sfxUnpacking("first sound not at the start", [](auto &, auto &in) { PutU32(in.archive, 4, 2); }, "does not start at the beginning");
        sfxUnpacking("odd bank size",
                  [](auto &, auto &in) { PutU32(in.lookup, 32, qFromLittleEndian<quint32>(in.lookup.constData() + 32) + 1); },
                     "odd size");
        sfxUnpacking("no sounds but data", [](auto &, auto &in) { in.archive[4804 + 2 * 2200] = in.archive[0] = 0; }, "has no sounds but");
        sfxUnpacking("package not in PakFiles.dat", [=](auto &g, auto &) { pakFiles(g, NameTable({"FEET", "SCRIPT"}, 52)); },
                     "not listed in PakFiles.dat");
        sfxUnpacking("PakFiles.dat missing", [](auto &g, auto &) { QFile::remove(g.Config("PakFiles.dat")); }, "PakFiles.dat was not found");
        sfxUnpacking("name without NUL", [=](auto &g, auto &) { pakFiles(g, NameTable({"FEET"}, 52) + QByteArray(52, 'A')); },
                     "no terminating NUL");
        // Record 4 (GENRL's second bank) pointed at its first: unpacked, one bank would be written twice.
        sfxUnpacking("overlapping banks", [](auto &, auto &in) { in.lookup.replace(4 * 12, 12, in.lookup.mid(3 * 12, 12)); },
                     "records 3 and 4 of BankLkup.dat describe banks of GENRL that overlap");
        sfxUnpacking("mobile ZIP", [](auto &, auto &in) { in.archive.replace(0, 4, QByteArray("PK\x03\x04", 4)); }, "ZIP archive");
        // A name that two folders fit, differing only in case, is refused rather than guessed at.
        sfxUnpacking("twin folders", [](auto &g, auto &) {
            QDir(g.Game()).rename("audio/SFX", "audio/Sfx"), QDir(g.Game()).mkpath("audio/sfx");
        }, "differ only in case; it is unclear which one SFX means");

        const auto lastSound = [](ToolGame &game) { return game.Work() + "/GENRL/Bank_003/sound_002.wav"; };
        sfxPacking("bank count differs", edit("num_banks=3", "num_banks=2"), "lists 2 banks, but the bank lookup file has 3");
        // Dropping a sound would move every later one to another place than the game looks for it.
        sfxPacking("a sound fewer", edit("num_sounds=2", "num_sounds=1"), "[Bank_002] lists 1 sounds, but that bank of GENRL has 2");
        sfxPacking("401 sounds", edit("num_sounds=2", "num_sounds=401"), "num_sounds = 401 is outside 0 to 400");
        sfxPacking("bank section missing", edit("[Bank_002]", "[Bank_02]"), "has no section [Bank_002]");
        sfxPacking("file name missing", edit("sound_001.filename=Bank_002", "sound_001.name=Bank_002"), "sound_001.filename is missing");
        sfxPacking("wrong lookup record", edit("lookup_record=3", "lookup_record=0"), "belongs to lookup record 0");
        sfxPacking("index disagrees with PakFiles.dat", edit("lookup_index=1", "lookup_index=2"), "lookup_index 2");
        sfxPacking("no Archive section", edit("[Archive]", "[Archiv]"), "has no [Archive] section");
        sfxPacking("number is text", edit("sound_001.unknown_16=-200", "sound_001.unknown_16=loud"), "is not a whole number");
        sfxPacking("sound is not audio", [=](auto &g, auto &) { WriteFile(lastSound(g), "this is a text file, not a sound\n"); },
                "Bank_003/sound_002.wav is not a sound file");
        sfxPacking("sound file missing", [=](auto &g, auto &) { QFile::remove(lastSound(g)); }, "Bank_003/sound_002.wav: No such file");
        sfxPacking("track lookup file given", [](auto &g, auto &) { g.lookupName = "TrakLkup.dat"; }, "is the wrong lookup file");
        // A truncated WAV whose data ends on half a sample would shift the rest of its bank.
        sfxPacking("odd sound data", [=](auto &g, auto &) {
            QByteArray wav = ReadFile(lastSound(g));
            const qsizetype data = wav.indexOf("data");
            PutU32(wav, data + 4, qFromLittleEndian<quint32>(wav.constData() + data + 4) + 1);
            PutU32(wav, 4, qFromLittleEndian<quint32>(wav.constData() + 4) + 1);
            WriteFile(lastSound(g), wav + '\x01');
        }, "odd number of bytes");
        sfxPacking("pipe in place of a sound", [=](auto &g, auto &) { QFile::remove(lastSound(g)), mkfifo(qPrintable(lastSound(g)), 0600); },
                   "is not a plain file");
        sfxPacking("name climbing out", edit("sound_001.filename=Bank_002", "sound_001.filename=x/../../Bank_002"),
                   "lies outside its folder");
        sfxPacking("BankSlot.dat cut off", [](auto &g, auto &) { WriteFile(g.Config("BankSlot.dat"), BankSlots({4000, 9000}, true).chopped(1)); },
                   "BankSlot.dat is 9641 bytes, not a slot count and 2 slots");
        sfxPacking("metafile of another package", edit("basename=GENRL", "basename=FEET"), "belongs to FEET, not to GENRL.new");
        // Packed into the archive itself, it is checked as one packed beside it.
        sfxPacking("a sound fewer, in place", [](auto &g, auto &in) {
            in.metafile.replace("num_sounds=2", "num_sounds=1");
            in.arguments = QStringList{"-i", g.Archive("GENRL"), g.Metafile("GENRL"), g.LookupPath()};
        }, "[Bank_002] lists 1 sounds, but that bank of GENRL has 2");
        sfxUnpacking("target folder in a missing one", [](auto &g, auto &in) {
            in.arguments = QStringList{"-e", g.Archive("GENRL"), g.dir.filePath("no/target"), g.LookupPath()};
        }, "the folder %dir%/no does not exist");

        streamUnpacking("cut inside a header", [](auto &, auto &in) { in.archive.append(QByteArray(100, '\x01')); }, "is cut off");
        streamUnpacking("not encoded", [](auto &, auto &in) { in.archive = Xor(in.archive, 0); }, "not a PC stream pack");
        streamUnpacking("damaged second header", [=](auto &g, auto &in) { in.archive[8068 + ChTracks(g)[0].ogg.size() + 8066] = 0; },
                     "CH, track 2: the track header is damaged");
        streamUnpacking("length beyond the file", [](auto &, auto &in) { PutU32(in.archive, 8000, 0x7FFFFFFF); }, "claims 2147483647 bytes");
        streamUnpacking("two length slots", [](auto &, auto &in) { PutU32(in.archive, 8000 + 3 * 8, 1000); }, "has 2 length entries");
        streamUnpacking("no length slot", [](auto &, auto &in) { in.archive.replace(8000, 8, QByteArray(8, '\xCD')); }, "has 0 length entries");
        streamUnpacking("zero length", [](auto &, auto &in) { PutU32(in.archive, 8000, 0); }, "claims 0 bytes");
        streamUnpacking("gap in the beat table", [](auto &, auto &in) { PutU32(in.archive, 8, 500); }, "gap before entry 2");
        streamUnpacking("garbage instead of Ogg", [](auto &, auto &in) { in.archive.replace(8068, 4, "RIFF"); }, "does not hold Ogg data");
        streamUnpacking("empty", [](auto &, auto &in) { in.archive = QByteArray(""); }, "is empty");

        // Station names become folder names: one that leaves the target is refused.
        streamUnpacking("station leaving the target", [](auto &g, auto &in) {
            WriteFile(g.dir.filePath("metadata-full.ini"), "stream = CH\nstation = ../outside\n");
            in.arguments = QStringList{"-r", g.Archive("CH"), g.Work(), g.dir.filePath("metadata-full.ini")};
        }, "cannot be the name of a folder");

        const auto track = [](ToolGame &game, const QByteArray &bytes) { WriteFile(game.Work() + "/CH/Track_002.ogg", bytes); };
        streamPacking("text instead of Ogg", [=](auto &g, auto &) { track(g, "no music here\n"); }, "Track_002.ogg is not an Ogg Vorbis file");
        streamPacking("Ogg magic, then garbage", [=](auto &g, auto &) { track(g, "OggS" + QByteArray(5000, '\x55')); },
                "Track_002.ogg is not a readable Ogg Vorbis file");
        streamPacking("Ogg cut off", [=](auto &g, auto &) { track(g, ChTracks(g)[1].ogg.chopped(100)); }, "Track_002.ogg is cut off");
        streamPacking("Ogg damaged after its headers", [=](auto &g, auto &) {
            QByteArray ogg = ChTracks(g)[1].ogg;
            track(g, ogg.replace(ogg.lastIndexOf("OggS"), 4, "XXXX"));
        }, "Track_002.ogg is damaged");
        // Page checksums alone pass these: only the Vorbis headers, and decoding, tell.
        streamPacking("Ogg of only its first page", [=](auto &g, auto &) { track(g, OggPages(ChTracks(g)[1].ogg).constFirst()); },
                      "Track_002.ogg is not a playable Ogg Vorbis file: it ends before its Vorbis comment header");
        streamPacking("Ogg headers of garbage", [=](auto &g, auto &) { track(g, OggPages(ChTracks(g)[1].ogg, 1).join()); },
                      "Track_002.ogg is not a playable Ogg Vorbis file: its Vorbis comment header is damaged");
        streamPacking("Ogg audio of garbage", [=](auto &g, auto &) { track(g, OggPages(ChTracks(g)[1].ogg, 2).join()); },
                      "Track_002.ogg is not a playable Ogg Vorbis file: audio packet");
        streamPacking("track count differs", edit("num_tracks=3", "num_tracks=2"), "lists 2 tracks, but the track lookup file has 3");
        // The lookup file lost CH's last record, so the metafile agrees with it, but not with the pack it replaces.
        streamPacking("a track fewer than the pack replaced", [](auto &, auto &in) {
            in.lookup.chop(12);
            in.metafile.replace("num_tracks=3", "num_tracks=2");
        }, "lists 2 tracks, as the track lookup file does, but CH has 3");
        streamPacking("track section missing", edit("[Track_002]", "[Track_2]"), "has no section [Track_002]");
        streamPacking("record of another pack", edit("lookup_record=5", "lookup_record=0"), "is not a record of this pack");
        streamPacking("unknown size rule", edit("lookup_size=ogg+header", "lookup_size=bytes"), "is none of ogg, ogg+header, zero");
        streamPacking("no Stream section", edit("[Stream]", "[Streams]"), "has no [Stream] section");
        streamPacking("absolute name", edit("filename=Track_002.ogg", "filename=/tmp/Track_002.ogg"), "lies outside its folder");
        streamPacking("track file missing", [](auto &g, auto &) { QFile::remove(g.Work() + "/CH/Track_002.ogg"); }, "cannot open");
        streamPacking("another save under way", [](auto &g, auto &in) {
            const auto lock = std::make_shared<QFile>(g.LookupPath() + ".lock");
            if (lock->open(QIODevice::WriteOnly) && ::flock(lock->handle(), LOCK_EX | LOCK_NB) == 0)
                in.held = lock;
            in.environment.insert("KIVO_TEST_LOCK_WAIT_MS", "300");
        }, "Another save is writing %lookup%. Try again when it has finished.");
        // A lookup file that cannot be replaced (here: immutable) must not cost the backup of the save before.
        sfxPacking("lookup file cannot be replaced", [](auto &g, auto &in) {
            WriteFile(g.LookupPath() + ".bak", "the save before");
            const auto chattr = [path = g.LookupPath()](const char *flag) {
                return !QStandardPaths::findExecutable("chattr").isEmpty() && QProcess::execute("chattr", {flag, path}) == 0;
            };
            if (chattr("+i"))
                in.held = std::shared_ptr<void>(nullptr, [=](void *) { chattr("-i"); });
            else
                in.skip = "no immutable attribute here";
        }, "cannot move");
    }

    void RefusesBadInputWithoutWriting()
    {
        QFETCH(bool, bSfx);
        QFETCH(bool, packing);
        QFETCH(Damage, damage);
        QFETCH(QString, message);
        const std::unique_ptr<ToolGame> game = MakeGame(bSfx);
        const QString name = bSfx ? "GENRL" : "CH";
        if (packing)
            QCOMPARE(game->Export({name}).exitCode, 0);
        const auto decode = [bSfx](const QByteArray &bytes) { return bSfx ? bytes : Xor(bytes, 0); };
        Inputs in{decode(ReadFile(game->Archive(name))), game->lookupBytes, QString::fromLatin1(ReadFile(game->Metafile(name)))};
        damage(*game, in);
        if (!in.skip.isEmpty())
            QSKIP(qPrintable(in.skip));
        QVERIFY(decode(in.archive) == game->originals[name] || WriteFile(game->Archive(name), decode(in.archive)));
        QVERIFY(in.lookup == game->lookupBytes || WriteFile(game->LookupPath(), in.lookup));
        QVERIFY(!packing || WriteFile(game->Metafile(name), in.metafile.toLatin1()));
        const auto before = Snapshot(game->dir.path());

        // When unpacking, a sound archive comes first: nothing of it may be written either.
        const ToolRun run = !in.arguments.isEmpty() ? Run(game->tool, in.arguments)
                          : packing                 ? game->Import(name, in.environment)
                                                    : game->Export({bSfx ? "FEET" : "AA", name}, in.environment);
        QVERIFY2(FailedWith(run, message.replace("%lookup%", game->LookupPath()).replace("%dir%", game->dir.path()), in.exitCode),
                 qPrintable(run.errorText));
        // No new archive, no backup, no temporary, no unpacked file: every folder is exactly as it was.
        QVERIFY(Snapshot(game->dir.path()) == before);
        if (packing || !in.arguments.isEmpty())
            return;
        // What unpacking refuses, listing and extracting refuse in the same words, printing and writing nothing.
        const QStringList lookup = bSfx ? QStringList{game->LookupPath()} : QStringList();
        const ToolRun listed = Run(game->tool, QStringList{"-l", game->Archive(name)} + lookup, QString(), in.environment);
        QVERIFY2(FailedWith(listed, message) && listed.output.isEmpty(), qPrintable(listed.errorText));
        const QString entry = bSfx ? "Bank_001/sound_001.wav" : "Track_001.ogg";
        const ToolRun extracted = Run(game->tool, QStringList{"-x", game->Archive(name), entry, game->Work() + "/entry"} + lookup,
                                      QString(), in.environment);
        QVERIFY2(FailedWith(extracted, message), qPrintable(extracted.errorText));
        QVERIFY(Snapshot(game->dir.path()) == before);
    }

private:
    QTemporaryDir demo; // the demo game in game/, what its generator puts beside the program in program/
};

QTEST_GUILESS_MAIN(TestToolkit)
#include "tst_Toolkit.moc"
