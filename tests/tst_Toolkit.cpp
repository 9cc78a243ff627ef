#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>

#include <sndfile.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "GameAudioFiles.h"

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

// The pages of an Ogg file, each with its header.
QList<QByteArray> OggPages(const QByteArray &ogg)
{
    QList<QByteArray> pages;
    for (qsizetype at = 0; at + 27 <= ogg.size();) {
        const int segments = quint8(ogg[at + 26]);
        qsizetype size = 27 + segments;
        for (int i = 0; i < segments; ++i)
            size += quint8(ogg[at + 27 + i]);
        pages << ogg.mid(at, size);
        at += size;
    }
    return pages;
}

// The pages from firstPage on filled with noise, each with a checksum that fits it again.
QByteArray GarbledFrom(const QByteArray &ogg, int firstPage)
{
    QList<QByteArray> pages = OggPages(ogg);
    quint32 noise = 12345;
    for (int p = firstPage; p < pages.size(); ++p) {
        QByteArray &page = pages[p];
        for (qsizetype i = 27 + quint8(page[26]); i < page.size(); ++i)
            page[i] = char((noise = noise * 1103515245u + 12345u) >> 16);
        PutU32(page, 22, 0);
        quint32 crc = 0;
        for (const char byte : std::as_const(page)) {
            crc ^= quint32(quint8(byte)) << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
        }
        PutU32(page, 22, crc);
    }
    return pages.join();
}

// Three packages in the stock layout; most tests work on GENRL, the other two check that their
// records and files stay untouched.
struct SfxGame : ToolGame
{
    SfxGame() : ToolGame(QStringLiteral(KIVO_SFX_PATH), "SFX", "BankLkup.dat", "sfx_import.ini")
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
            packages[name] = PackageOf(banks, name);
            WriteFile(Archive(name), packages[name]);
        }
        lookupBytes = LookupFor(banks);
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config("PakFiles.dat"), NameTable(packageNames, 52));
    }

    // The package of these banks and the lookup file of all three, in the stock layout.
    static QByteArray PackageOf(const QMap<QString, QList<Bank>> &banks, const QString &name)
    {
        QList<LookupRecord> records;
        return SfxPackage(banks[name], quint8(packageNames.indexOf(name)), records);
    }
    static QByteArray LookupFor(const QMap<QString, QList<Bank>> &banks)
    {
        QList<LookupRecord> records;
        for (int i = 0; i < packageNames.size(); ++i)
            SfxPackage(banks[packageNames[i]], quint8(i), records);
        return Lookup(records, '\xCC');
    }

    QMap<QString, QList<Bank>> banks;
    QMap<QString, QByteArray> packages;
};

// Compares what the tool unpacked into work/name with banks, sound by sound and key by key.
void CompareSfxUnpacked(const QString &work, const QString &name, const QList<Bank> &banks)
{
    auto ini = ReadIni(work + "/" + name + "/sfx_import.ini");
    QCOMPARE(ini["Archive"]["basename"], name);
    QCOMPARE(ini["Archive"]["num_banks"].toInt(), banks.size());
    for (int b = 0; b < banks.size(); ++b) {
        auto &keys = ini[Numbered("Bank_", b + 1)];
        QCOMPARE(keys["num_sounds"].toInt(), banks[b].size());
        for (int s = 0; s < banks[b].size(); ++s) {
            const QString key = Numbered("sound_", s + 1);
            const QString file = Numbered("Bank_", b + 1) + "/" + key + ".wav";
            const Sound &sound = banks[b][s];
            QCOMPARE(QStringList({keys[key + ".filename"], keys[key + ".sample_rate"], keys[key + ".unknown_16"], keys[key + ".loop_offset"]}),
                     QStringList({file, QString::number(sound.rate), QString::number(sound.headroom), QString::number(sound.loop)}));
            const Wav wav = ReadWav(work + "/" + name + "/" + file);
            QVERIFY2(wav.ok && wav.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) && wav.channels == 1, qPrintable(file));
            QCOMPARE(wav.rate, int(sound.rate));
            QCOMPARE(wav.samples, sound.samples);
        }
    }
}

// Three packs as the game keeps them, with a beat track whose length sits in slot 1.
struct StreamGame : ToolGame
{
    StreamGame() : ToolGame(QStringLiteral(KIVO_STREAM_PATH), "streams", "TrakLkup.dat", "stream_import.ini")
    {
        tracks["AA"] = {{OggVorbis(0.3, 440), {}, 0, 48000}, {OggVorbis(0.2, 660), {}, 0, 48000}};
        tracks["BEATS"] = {{OggVorbis(0.4, 220), {{100, 3}, {250, 4}, {400, 9}}, 1, 0},
                           {OggVorbis(0.2, 330, 2, 24000), {}, 0, 24000}};
        tracks["CH"] = {{OggVorbis(0.2, 523), {}, 0, 48000}, {OggVorbis(0.3, 587), {}, 0, 0},
                        {OggVorbis(0.25, 659), {}, 0, 25137}};
        int records = 0;
        for (const QString &name : slotNames.filter(QRegularExpression("."))) {
            packs[name] = StreamPack(tracks[name]);
            WriteFile(Archive(name), packs[name]);
            firstRecords[name] = records;
            records += tracks[name].size();
        }
        lookupBytes = LookupFor(tracks);
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config("StrmPaks.dat"), NameTable(slotNames, 16));
    }

    // The lookup file of these tracks, the packs in the order of their slots.
    static QByteArray LookupFor(const QMap<QString, QList<Track>> &tracks)
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
    QString TrackFile(const QString &folder, int track) const { return Work() + "/" + folder + "/" + Numbered("Track_", track) + ".ogg"; }

    QMap<QString, int> firstRecords;
    QMap<QString, QList<Track>> tracks;
    QMap<QString, QByteArray> packs;
};

// Compares what the tool unpacked into the working folder with tracks, file by file and key by
// key; the lookup records are only known when the tables lay beside the pack (firstRecord >= 0).
void CompareStreamUnpacked(const StreamGame &game, const QString &name, const QList<Track> &tracks, int firstRecord)
{
    auto ini = ReadIni(game.Metafile(name));
    QCOMPARE(ini["Stream"]["basename"], name);
    QCOMPARE(ini["Stream"]["num_tracks"].toInt(), tracks.size());
    for (int t = 0; t < tracks.size(); ++t) {
        auto &keys = ini[Numbered("Track_", t + 1)];
        QStringList expected{Numbered("Track_", t + 1) + ".ogg", QString::number(tracks[t].beats.size()),
                             QString::number(tracks[t].lengthIndex), QString::number(tracks[t].extra)};
        for (const auto &[time, control] : tracks[t].beats)
            expected << QStringLiteral("%1,%2").arg(time).arg(control);
        QStringList got{keys["filename"], keys["beat_total"], keys["length_index"], keys["length_extra"]};
        for (int b = 0; b < tracks[t].beats.size(); ++b)
            got << keys[Numbered("beat_", b + 1)];
        QCOMPARE(got, expected);
        QCOMPARE(ReadFile(game.TrackFile(name, t + 1)), tracks[t].ogg);
        QVERIFY(firstRecord < 0 || keys["lookup_record"].toInt() == firstRecord + t);
    }
}

// What the tool reads, as a damage leaves it: the archive (a stream pack decoded), the lookup
// file, when packing the unpacked archive's metafile, or else a command line of its own.
struct Inputs
{
    QByteArray archive;
    QByteArray lookup;
    QString metafile;
    QStringList arguments;
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
    void SfxPackingReproducesTheGame_data();
    void SfxPackingReproducesTheGame();
    void StreamPackingReproducesTheGame_data();
    void StreamPackingReproducesTheGame();
    void GrowsSoundBufferSlotsToFit_data();
    void GrowsSoundBufferSlotsToFit();
    void NamesFoldersByStation_data();
    void NamesFoldersByStation();
    void RefusesBadInputWithoutWriting_data();
    void RefusesBadInputWithoutWriting();
    void TwoPacksAtOnceKeepEachOthersRecords();
    void WaitsForAnotherSaveThenRefuses();
    void KeepsTheBackupWhenTheLookupFileStays();
    void AKilledUnpackingLeavesNoTemporaryAfterTheNext_data();
    void AKilledUnpackingLeavesNoTemporaryAfterTheNext();
};

void TestToolkit::SfxPackingReproducesTheGame_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("testSwitch");     // an environment variable the tools take for tests
    QTest::addColumn<QString>("killedAt");       // where an earlier packing was killed
    QTest::addColumn<QByteArray>("replacement"); // a sound file for GENRL's sound 2 in bank 1
    QTest::addColumn<Sound>("expected");         // what becomes of it
    QTest::addColumn<QStringList>("warnings");
    const auto same = [](const char *row, const char *name, const char *testSwitch = "", const char *killedAt = "") {
        QTest::newRow(row) << QString(name) << QString(testSwitch) << QString(killedAt) << QByteArray() << Sound() << QStringList();
    };
    // The replacement holds the expected samples, each repeated rate / expected.rate times, on two
    // channels that differ but average to it when stereo.
    const auto replaced = [](const char *row, int format, int channels, int rate, const Sound &expected, const QStringList &warnings) {
        QVector<qint16> interleaved;
        for (const qint16 sample : expected.samples) {
            for (int r = 0; r < rate / expected.rate; ++r)
                interleaved << (channels == 1 ? QVector<qint16>{sample} : QVector<qint16>{qint16(sample + 512), qint16(sample - 512)});
        }
        QTemporaryDir folder;
        const QString path = folder.filePath("replacement");
        const QByteArray file = WriteSoundFile(path, format, channels, rate, interleaved) ? ReadFile(path) : QByteArray();
        QTest::newRow(row) << QString("GENRL") << QString() << QString() << file << expected << warnings;
    };
    same("first package", "FEET");
    same("middle package with an empty sound", "GENRL");
    // Where the system cannot copy between two files (another system, another disk), sound data
    // passes through the tool's memory instead.
    same("long sound, copied through memory", "PAIN_A", "KIVO_TEST_PLAIN_COPY");
    same("after a kill while writing the package", "GENRL", "", "archive");
    // The package must be complete before the lookup file that describes it is replaced.
    same("after a kill before the lookup file is replaced", "GENRL", "", "lookup");
    // Where files cannot be created without a name, a killed run leaves its temporary, which
    // must neither stand in the way of the next nor outlive it.
    same("after a kill, named temporaries", "GENRL", "KIVO_TEST_NAMED_TEMPORARIES", "archive");

    const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    // The replaced sound is 800 samples long and loops from sample 100.
    replaced("longer, loop kept", pcm16, 1, 11025, {Tone(3000, 330, 11025, 20000), 11025, 100}, {"grew from"});
    replaced("empty", pcm16, 1, 12000, {{}, 12000, -1}, {"no longer loops"});
    QVector<qint16> steps;
    for (int i = 0; i < 500; ++i)
        steps << qint16(((i * 37) % 201 - 100) * 256);
    const QStringList converted{"was converted"};
    replaced("mono 24-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 22050, {steps, 22050, 100}, converted);
    replaced("stereo float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, {steps, 44100, 100}, converted);
    replaced("mono 16-bit at 96 kHz", pcm16, 1, 96000, {steps, 48000, 100}, converted);
}

void TestToolkit::SfxPackingReproducesTheGame()
{
    QFETCH(QString, name);
    QFETCH(QString, testSwitch);
    QFETCH(QString, killedAt);
    QFETCH(QByteArray, replacement);
    QFETCH(Sound, expected);
    QFETCH(QStringList, warnings);
    SfxGame game;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!testSwitch.isEmpty())
        environment.insert(testSwitch, "1");
    QCOMPARE(game.Export(packageNames, environment).exitCode, 0);
    CompareSfxUnpacked(game.Work(), name, game.banks[name]);
    QCOMPARE(ReadIni(game.Metafile(name))["Archive"]["lookup_index"].toInt(), packageNames.indexOf(name));
    if (!killedAt.isEmpty())
        QCOMPARE(game.ImportKilledAt(name, killedAt, game.packages[name], environment), QString());
    auto banks = game.banks;
    if (!replacement.isEmpty()) {
        banks[name][0][1] = {expected.samples, expected.rate, expected.loop, banks[name][0][1].headroom};
        QVERIFY(WriteFile(game.Work() + "/GENRL/Bank_001/sound_002.wav", replacement));
    }

    const ToolRun run = game.Import(name, environment);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    for (const QString &warning : {"grew from", "no longer loops", "was converted"})
        QVERIFY2(run.errorText.contains(warning) == warnings.contains(warning), qPrintable(run.errorText));
    QCOMPARE(ReadFile(game.Archive(name) + ".new"), SfxGame::PackageOf(banks, name));
    // Only the package's own records follow its new layout; every other byte stays.
    QCOMPARE(ReadFile(game.LookupPath()), SfxGame::LookupFor(banks));
    QCOMPARE(ReadFile(game.LookupPath() + ".bak"), game.lookupBytes);
    for (const QString &package : packageNames)
        QCOMPARE(ReadFile(game.Archive(package)), game.packages[package]);
    // Three packages and the new one: the temporary a killed run left is gone with the next run.
    QCOMPARE(FilesBelow(game.Game() + "/audio/SFX").size(), 4);
}

void TestToolkit::StreamPackingReproducesTheGame_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tablesAtExport");
    QTest::addColumn<QString>("killedAt");       // where an earlier packing was killed
    QTest::addColumn<int>("track");              // replaced before packing; 0: none
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QString>("warning");
    const auto same = [](const char *row, const char *name, bool tablesAtExport = true, const char *killedAt = "") {
        QTest::newRow(row) << QString(name) << tablesAtExport << QString(killedAt) << 0 << QByteArray() << QString();
    };
    const auto replaced = [](const char *row, const char *name, int track, const QByteArray &ogg, const char *warning = "") {
        QTest::newRow(row) << QString(name) << true << QString() << track << ogg << QString(warning);
    };
    same("mixed size conventions", "CH");
    same("no tables beside the pack at export", "CH", false);
    same("after a kill before the lookup file is replaced", "CH", true, "lookup");
    replaced("longer, lookup size with header", "CH", 2, OggVorbis(1.0, 880));
    replaced("shorter, first track", "CH", 1, OggVorbis(0.05, 880));
    replaced("beat track", "BEATS", 1, OggVorbis(0.6, 880), "the beats are kept");
    replaced("mono 44.1 kHz", "AA", 2, OggVorbis(0.3, 880, 1, 44100), "untested in the game");
}

void TestToolkit::StreamPackingReproducesTheGame()
{
    QFETCH(QString, name);
    QFETCH(bool, tablesAtExport);
    QFETCH(QString, killedAt);
    QFETCH(int, track);
    QFETCH(QByteArray, replacement);
    QFETCH(QString, warning);
    StreamGame game;
    // The fixture itself must encode as the game does: two unused beat entries open every pack.
    QCOMPARE(game.packs["AA"].left(16), QByteArray::fromHex("15C53B5E9AA814F3B74F28DC9DE8FFF1"));
    QTemporaryDir elsewhere;
    if (tablesAtExport) {
        QCOMPARE(game.Export({"AA", "BEATS", "CH"}).exitCode, 0);
    } else {
        QVERIFY(QFile::copy(game.Archive(name), elsewhere.filePath(name)));
        QCOMPARE(Run(game.tool, {"-e", elsewhere.filePath(name), game.Work()}).exitCode, 0);
    }
    CompareStreamUnpacked(game, name, game.tracks[name], tablesAtExport ? game.firstRecords[name] : -1);
    QCOMPARE(ReadIni(game.Metafile(name))["Stream"]["lookup_index"].toInt(), tablesAtExport ? slotNames.indexOf(name) : -1);
    if (!killedAt.isEmpty())
        QCOMPARE(game.ImportKilledAt(name, killedAt, game.packs[name]), QString());
    auto tracks = game.tracks;
    if (track > 0) {
        tracks[name][track - 1].ogg = replacement;
        QVERIFY(WriteFile(game.TrackFile(name, track), replacement));
    }

    const ToolRun run = game.Import(name);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QVERIFY2(run.errorText.contains(warning), qPrintable(run.errorText));
    // Only the pack's own records follow its new layout, each in its own size convention.
    QCOMPARE(ReadFile(game.Archive(name) + ".new"), StreamPack(tracks[name]));
    QCOMPARE(ReadFile(game.LookupPath()), StreamGame::LookupFor(tracks));
    QCOMPARE(ReadFile(game.LookupPath() + ".bak"), game.lookupBytes);
}

void TestToolkit::GrowsSoundBufferSlotsToFit_data()
{
    QTest::addColumn<int>("samples");          // of GENRL's bank 1, sound 2 (800 before); 0: unchanged
    QTest::addColumn<bool>("bFresh");          // no package to replace: GENRL is built afresh
    QTest::addColumn<SlotSizes>("after"); // the slot sizes; empty: the file stays untouched
    QTest::addColumn<QString>("message");
    // The sound grows from 1,600 to 6,000 bytes and its bank from 4,400 to 8,800: slots of at
    // least the old sizes grow to the new ones, the smallest and the largest stay.
    QTest::newRow("sound grown past its slot") << 3000 << false << SlotSizes{1000, 6000, 6000, 8800, 8800, 8800, 8800, 10000}
                                               << "5 of 8 sound buffer slots grew to hold the larger banks and sounds of GENRL; "
                                                  "the game's sound buffer grows from 40800 to 58200 bytes";
    QTest::newRow("nothing grew") << 0 << false << SlotSizes() << QString();
    QTest::newRow("sound made shorter") << 100 << false << SlotSizes() << QString();
    QTest::newRow("package built afresh") << 3000 << true << SlotSizes() << QString();
}

void TestToolkit::GrowsSoundBufferSlotsToFit()
{
    QFETCH(int, samples);
    QFETCH(bool, bFresh);
    QFETCH(SlotSizes, after);
    QFETCH(QString, message);
    SfxGame game;
    const QString slotsPath = game.Config("BankSlot.dat");
    const QByteArray stored = BankSlots({1000, 1600, 3000, 4400, 5000, 7000, 8800, 10000}, false);
    QVERIFY(WriteFile(slotsPath, stored));
    const QDateTime written(QDate(2004, 10, 26), QTime(12, 0));
    QFile slotsFile(slotsPath);
    QVERIFY(slotsFile.open(QIODevice::ReadWrite) && slotsFile.setFileTime(written, QFileDevice::FileModificationTime));
    slotsFile.close();
    QCOMPARE(game.Export({"GENRL"}).exitCode, 0);
    if (samples > 0)
        QVERIFY(WriteSoundFile(game.Work() + "/GENRL/Bank_001/sound_002.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 12000,
                               Tone(samples, 440, 12000, 8000)));
    QVERIFY(!bFresh || QFile::remove(game.Archive("GENRL")));

    const ToolRun run = game.Import("GENRL");
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QVERIFY2(message.isEmpty() ? !run.errorText.contains("BankSlot.dat") : run.errorText.contains(message), qPrintable(run.errorText));
    if (after.isEmpty()) {
        QCOMPARE(ReadFile(slotsPath), stored);
        QCOMPARE(QFileInfo(slotsPath).lastModified(), written);
        QVERIFY(!QFile::exists(slotsPath + ".bak"));
        return;
    }
    QCOMPARE(ReadFile(slotsPath), BankSlots(after, true));
    QCOMPARE(ReadFile(slotsPath + ".bak"), stored);
}

void TestToolkit::NamesFoldersByStation_data()
{
    QTest::addColumn<QByteArray>("metadata"); // null: the file does not exist
    QTest::addColumn<QString>("folder");      // empty: the export must fail
    QTest::newRow("mapped") << QByteArray("stream = AA\nstation = Other\nstream = CH\nstation = Radio X\n") << "Radio X";
    QTest::newRow("CRLF lines") << QByteArray("stream = CH\r\nstation = Radio X\r\n") << "Radio X";
    QTest::newRow("later stream line wins") << QByteArray("stream = AA\nstream = CH\nstation = K-DST\n") << "K-DST";
    QTest::newRow("lines without blanks do not count") << QByteArray("stream=CH\nstation=Radio X\n") << "CH";
    QTest::newRow("missing file") << QByteArray() << "CH";
    QTest::newRow("station leaving the target") << QByteArray("stream = CH\nstation = ../outside\n") << QString();
}

void TestToolkit::NamesFoldersByStation()
{
    QFETCH(QByteArray, metadata);
    QFETCH(QString, folder);
    StreamGame game;
    const QString metadataPath = game.dir.filePath("metadata-full.ini");
    if (!metadata.isNull())
        QVERIFY(WriteFile(metadataPath, metadata));
    const QStringList before = FilesBelow(game.dir.path());

    const ToolRun run = Run(game.tool, {"-r", game.Archive("CH"), game.Work(), metadataPath});
    if (folder.isEmpty()) {
        QVERIFY2(FailedWith(run, "cannot be the name of a folder"), qPrintable(run.errorText));
        QCOMPARE(FilesBelow(game.dir.path()), before);
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QCOMPARE(QDir(game.Work()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{folder});
    QCOMPARE(ReadIni(game.Metafile(folder))["Stream"]["basename"], QStringLiteral("CH"));
    QCOMPARE(ReadFile(game.TrackFile(folder, 3)), game.tracks["CH"][2].ogg);
}

void TestToolkit::RefusesBadInputWithoutWriting_data()
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
    for (const QStringList &arguments : {QStringList{"-e", "target", "BankLkup.dat"}, QStringList{"-i", "a", "b", "c", "d"}})
        sfxUnpacking(qPrintable(arguments.join(' ')), [=](auto &, auto &in) { in.arguments = arguments; }, "usage");
    for (const QStringList &arguments : {QStringList{"-e", "target"}, QStringList{"-r", "pack", "target"}, QStringList{"-i", "a", "b"}})
        streamUnpacking(qPrintable(arguments.join(' ')), [=](auto &, auto &in) { in.arguments = arguments; }, "usage");
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
    streamUnpacking("mobile ZIP", [](auto &, auto &in) { in.archive = Xor(QByteArray("PK\x03\x04zipzipzip", 13), 0); }, "ZIP archive");

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
    streamPacking("Ogg headers of garbage", [=](auto &g, auto &) { track(g, GarbledFrom(ChTracks(g)[1].ogg, 1)); },
                  "Track_002.ogg is not a playable Ogg Vorbis file: its Vorbis comment header is damaged");
    streamPacking("Ogg audio of garbage", [=](auto &g, auto &) { track(g, GarbledFrom(ChTracks(g)[1].ogg, 2)); },
                  "Track_002.ogg is not a playable Ogg Vorbis file: audio packet");
    streamPacking("track count differs", edit("num_tracks=3", "num_tracks=2"), "lists 2 tracks, but the track lookup file has 3");
    // The lookup file lost CH's last record, so the metafile agrees with it, but not with the pack it replaces.
    streamPacking("a track fewer than the pack replaced", [](auto &, auto &in) {
        in.lookup.chop(12);
        in.metafile.replace("num_tracks=3", "num_tracks=2");
    }, "lists 2 tracks, as the track lookup file does, but CH has 3");
    streamPacking("track section missing", edit("[Track_002]", "[Track_2]"), "has no section [Track_002]");
    streamPacking("index disagrees with StrmPaks.dat", edit("lookup_index=3", "lookup_index=0"), "lookup_index 0");
    streamPacking("beat missing",
            edit("[Track_001]\nfilename=Track_001.ogg\nbeat_total=0", "[Track_001]\nfilename=Track_001.ogg\nbeat_total=1"),
            "beat_001 is missing");
    streamPacking("record of another pack", edit("lookup_record=5", "lookup_record=0"), "is not a record of this pack");
    streamPacking("unknown size rule", edit("lookup_size=ogg+header", "lookup_size=bytes"), "is none of ogg, ogg+header, zero");
    streamPacking("no Stream section", edit("[Stream]", "[Streams]"), "has no [Stream] section");
    streamPacking("absolute name", edit("filename=Track_002.ogg", "filename=/tmp/Track_002.ogg"), "lies outside its folder");
    streamPacking("track file missing", [](auto &g, auto &) { QFile::remove(g.Work() + "/CH/Track_002.ogg"); }, "cannot open");
}

void TestToolkit::RefusesBadInputWithoutWriting()
{
    QFETCH(bool, bSfx);
    QFETCH(bool, packing);
    QFETCH(Damage, damage);
    QFETCH(QString, message);
    const std::unique_ptr<ToolGame> game = bSfx ? std::unique_ptr<ToolGame>(new SfxGame) : std::make_unique<StreamGame>();
    const QString name = bSfx ? "GENRL" : "CH";
    if (packing)
        QCOMPARE(game->Export({name}).exitCode, 0);
    const auto decode = [bSfx](const QByteArray &bytes) { return bSfx ? bytes : Xor(bytes, 0); };
    Inputs in{decode(ReadFile(game->Archive(name))), game->lookupBytes, QString::fromLatin1(ReadFile(game->Metafile(name)))};
    damage(*game, in);
    QVERIFY(WriteFile(game->Archive(name), decode(in.archive)));
    QVERIFY(WriteFile(game->LookupPath(), in.lookup));
    QVERIFY(!packing || WriteFile(game->Metafile(name), in.metafile.toLatin1()));
    const auto before = Snapshot(game->Game());

    // When unpacking, a sound archive comes first: nothing of it may be written either.
    const ToolRun run = !in.arguments.isEmpty() ? Run(game->tool, in.arguments)
                      : packing                 ? game->Import(name)
                                                : game->Export({bSfx ? "FEET" : "AA", name});
    QVERIFY2(FailedWith(run, message, in.arguments.isEmpty() ? 1 : 2), qPrintable(run.errorText));
    // No new archive, no backup, no temporary: the game folder is exactly as it was.
    QVERIFY(Snapshot(game->Game()) == before);
    QCOMPARE(FilesBelow(game->Work()).isEmpty(), !packing);
}

// Started together, one waits for the other's lock; each must find the other's records in place.
void TestToolkit::TwoPacksAtOnceKeepEachOthersRecords()
{
    SfxGame game;
    QCOMPARE(game.Export({"FEET", "GENRL"}).exitCode, 0);
    auto banks = game.banks;
    QProcess runs[2];
    for (int i = 0; i < 2; ++i) {
        const QString name = i ? "GENRL" : "FEET";
        // A longer first sound moves every later bank of the package: all its records change.
        Sound &sound = banks[name][0][0];
        sound.samples = Tone(9000, 330, sound.rate, 9000);
        QVERIFY(WriteSoundFile(game.Work() + "/" + name + "/Bank_001/sound_001.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, sound.rate,
                               sound.samples));
        runs[i].setWorkingDirectory(game.Work() + "/" + name);
        runs[i].setArguments({"-i", game.Archive(name) + ".new", game.Metafile(name), game.LookupPath()});
        runs[i].setProgram(game.tool);
    }
    runs[0].start();
    runs[1].start();
    for (QProcess &run : runs)
        QVERIFY2(run.waitForFinished() && run.exitCode() == 0, run.readAllStandardError().constData());
    QCOMPARE(ReadFile(game.LookupPath()), SfxGame::LookupFor(banks));
    for (const QString &name : {"FEET", "GENRL"})
        QCOMPARE(ReadFile(game.Archive(name) + ".new"), SfxGame::PackageOf(banks, name));
}

void TestToolkit::WaitsForAnotherSaveThenRefuses()
{
    StreamGame game;
    QCOMPARE(game.Export({"CH"}).exitCode, 0);
    QFile lock(game.LookupPath() + ".lock");
    QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
    const auto before = Snapshot(game.Game());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KIVO_TEST_LOCK_WAIT_MS", "300");

    const ToolRun run = game.Import("CH", environment);

    QVERIFY2(FailedWith(run, "Another save is writing " + game.LookupPath() + ". Try again when it has finished."),
             qPrintable(run.errorText));
    QVERIFY(Snapshot(game.Game()) == before);
}

// A lookup file that cannot be replaced (here: immutable) must not cost the backup of the save before.
void TestToolkit::KeepsTheBackupWhenTheLookupFileStays()
{
    SfxGame game;
    QCOMPARE(game.Export({"GENRL"}).exitCode, 0);
    QVERIFY(WriteFile(game.LookupPath() + ".bak", "the save before"));
    const auto chattr = [&game](const char *flag) {
        return !QStandardPaths::findExecutable("chattr").isEmpty() && QProcess::execute("chattr", {flag, game.LookupPath()}) == 0;
    };
    if (!chattr("+i"))
        QSKIP("no immutable attribute here");
    const auto unlock = qScopeGuard([&] { chattr("-i"); });

    const ToolRun run = game.Import("GENRL");

    QVERIFY2(FailedWith(run, "cannot move"), qPrintable(run.errorText));
    QCOMPARE(ReadFile(game.LookupPath() + ".bak"), QByteArray("the save before"));
    QCOMPARE(ReadFile(game.LookupPath()), game.lookupBytes);
    QVERIFY(!QFile::exists(game.Archive("GENRL") + ".new"));
}

void TestToolkit::AKilledUnpackingLeavesNoTemporaryAfterTheNext_data()
{
    QTest::addColumn<bool>("bSfx");
    QTest::newRow("SFX") << true;
    QTest::newRow("stream") << false;
}

// Unpacking again writes over every file: a run killed between naming a file's temporary and
// the rename leaves that temporary, and the next run must take it away.
void TestToolkit::AKilledUnpackingLeavesNoTemporaryAfterTheNext()
{
    QFETCH(bool, bSfx);
    const std::unique_ptr<ToolGame> game = bSfx ? std::unique_ptr<ToolGame>(new SfxGame) : std::make_unique<StreamGame>();
    const QString name = bSfx ? "GENRL" : "CH";
    QCOMPARE(game->Export({name}).exitCode, 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KIVO_TEST_PAUSE", "rename");
    QProcess killed;
    killed.setProcessEnvironment(environment);
    killed.setReadChannel(QProcess::StandardError);
    QStringList arguments{"-e", game->Archive(name), game->Work()};
    killed.start(game->tool, bSfx ? arguments << game->LookupPath() : arguments);
    QVERIFY(killed.waitForReadyRead(20000) && killed.readAllStandardError().startsWith("paused at rename"));
    killed.kill();
    killed.waitForFinished();
    QCOMPARE(FilesBelow(game->Work()).filter(".kivo-").size(), 1);

    QCOMPARE(game->Export({name}).exitCode, 0);

    QCOMPARE(FilesBelow(game->Work()).filter(".kivo-"), QStringList());
}

QTEST_GUILESS_MAIN(TestToolkit)
#include "tst_Toolkit.moc"
