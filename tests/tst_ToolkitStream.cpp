#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <functional>


#include "GameAudioFiles.h"

using namespace GameAudioFiles;

namespace
{
const QStringList slotNames = {"AA", QString(), "BEATS", "CH"}; // StrmPaks.dat, with an empty slot
// Which lookup records count the 8,068-byte track header in their size: both conventions occur.
const QMap<QString, QList<bool>> sizeWithHeader = {{"AA", {false, false}}, {"BEATS", {true, true}}, {"CH", {false, true, false}}};

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
    ToolRun Export(const QStringList &packPaths) const { return Run(tool, QStringList{"-e"} + packPaths + QStringList{Work()}); }

    QMap<QString, int> firstRecords;
    QMap<QString, QList<Track>> tracks;
    QMap<QString, QByteArray> packs;
};

// Compares what the tool unpacked into the working folder with tracks, file by file and key by
// key; the lookup records are only known when the tables lay beside the pack (firstRecord >= 0).
void CompareUnpacked(const StreamGame &game, const QString &name, const QList<Track> &tracks, int firstRecord)
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

// What the tool reads, as a damage leaves it: CH's decoded bytes, the lookup
// file, when packing the unpacked CH's metafile, or else a command line of its own.
struct Inputs
{
    QByteArray plain;
    QByteArray lookup;
    QString metafile;
    QStringList arguments;
};
using Damage = std::function<void(StreamGame &, Inputs &)>;
}

Q_DECLARE_METATYPE(Damage)

class TestToolkitStream : public QObject
{
    Q_OBJECT

private slots:
    void PackingReproducesTheGame_data();
    void PackingReproducesTheGame();
    void NamesFoldersByStation_data();
    void NamesFoldersByStation();
    void RefusesBadInputWithoutWriting_data();
    void RefusesBadInputWithoutWriting();
};

void TestToolkitStream::PackingReproducesTheGame_data()
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

void TestToolkitStream::PackingReproducesTheGame()
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
        QCOMPARE(game.Export({game.Archive("AA"), game.Archive("BEATS"), game.Archive("CH")}).exitCode, 0);
    } else {
        QVERIFY(QFile::copy(game.Archive(name), elsewhere.filePath(name)));
        QCOMPARE(game.Export({elsewhere.filePath(name)}).exitCode, 0);
    }
    CompareUnpacked(game, name, game.tracks[name], tablesAtExport ? game.firstRecords[name] : -1);
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

void TestToolkitStream::NamesFoldersByStation_data()
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

void TestToolkitStream::NamesFoldersByStation()
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

void TestToolkitStream::RefusesBadInputWithoutWriting_data()
{
    QTest::addColumn<bool>("packing");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("message");
    const auto row = [](bool packing) {
        return [=](const char *name, const Damage &damage, const char *message) { QTest::newRow(name) << packing << damage << QString(message); };
    };
    const auto unpacking = row(false), packing = row(true);
    unpacking("cut inside a header", [](auto &, auto &in) { in.plain.append(QByteArray(100, '\x01')); }, "is cut off");
    unpacking("not encoded", [](auto &, auto &in) { in.plain = Xor(in.plain, 0); }, "not a PC stream pack");
    unpacking("damaged second header", [](auto &g, auto &in) { in.plain[8068 + g.tracks["CH"][0].ogg.size() + 8066] = 0; },
              "CH, track 2: the track header is damaged");
    unpacking("length beyond the file", [](auto &, auto &in) { PutU32(in.plain, 8000, 0x7FFFFFFF); }, "claims 2147483647 bytes");
    unpacking("two length slots", [](auto &, auto &in) { PutU32(in.plain, 8000 + 3 * 8, 1000); }, "has 2 length entries");
    unpacking("no length slot", [](auto &, auto &in) { in.plain.replace(8000, 8, QByteArray(8, '\xCD')); }, "has 0 length entries");
    unpacking("zero length", [](auto &, auto &in) { PutU32(in.plain, 8000, 0); }, "claims 0 bytes");
    unpacking("gap in the beat table", [](auto &, auto &in) { PutU32(in.plain, 8, 500); }, "gap before entry 2");
    unpacking("garbage instead of Ogg", [](auto &, auto &in) { in.plain.replace(8068, 4, "RIFF"); }, "does not hold Ogg data");
    unpacking("empty", [](auto &, auto &in) { in.plain = QByteArray(""); }, "is empty");
    unpacking("mobile ZIP", [](auto &, auto &in) { in.plain = Xor(QByteArray("PK\x03\x04zipzipzip", 13), 0); }, "ZIP archive");

    // Each edit replaces one line or section name of the metafile.
    const auto edit = [](const char *from, const char *to) {
        return [=](auto &, auto &in) { in.metafile.replace(QLatin1String(from), QLatin1String(to)); };
    };
    const auto track = [](StreamGame &game, const QByteArray &bytes) { WriteFile(game.TrackFile("CH", 2), bytes); };
    packing("text instead of Ogg", [=](auto &g, auto &) { track(g, "no music here\n"); }, "Track_002.ogg is not an Ogg Vorbis file");
    packing("Ogg magic, then garbage", [=](auto &g, auto &) { track(g, "OggS" + QByteArray(5000, '\x55')); },
            "Track_002.ogg is not a readable Ogg Vorbis file");
    packing("Ogg cut off", [=](auto &g, auto &) { track(g, g.tracks["CH"][1].ogg.chopped(100)); }, "Track_002.ogg is cut off");
    packing("Ogg damaged after its first page", [=](auto &g, auto &) {
        QByteArray ogg = g.tracks["CH"][1].ogg;
        track(g, ogg.replace(ogg.indexOf("OggS", 4), 4, "XXXX"));
    }, "Track_002.ogg is damaged");
    packing("track count differs", edit("num_tracks=3", "num_tracks=2"), "lists 2 tracks, but the track lookup file has 3");
    packing("track section missing", edit("[Track_002]", "[Track_2]"), "has no section [Track_002]");
    packing("index disagrees with StrmPaks.dat", edit("lookup_index=3", "lookup_index=0"), "lookup_index 0");
    packing("beat missing",
            edit("[Track_001]\nfilename=Track_001.ogg\nbeat_total=0", "[Track_001]\nfilename=Track_001.ogg\nbeat_total=1"),
            "beat_001 is missing");
    packing("record of another pack", edit("lookup_record=5", "lookup_record=0"), "is not a record of this pack");
    packing("unknown size rule", edit("lookup_size=ogg+header", "lookup_size=bytes"), "is none of ogg, ogg+header, zero");
    packing("no Stream section", edit("[Stream]", "[Streams]"), "has no [Stream] section");
    packing("track file missing", [](auto &g, auto &) { QFile::remove(g.TrackFile("CH", 2)); }, "cannot open");

    // A wrong command line is refused (with exit code 2) before anything is read.
    for (const QStringList &arguments : {QStringList{"-e", "target"}, QStringList{"-r", "pack", "target"}, QStringList{"-i", "a", "b"}})
        unpacking(qPrintable(arguments.join(' ')), [=](auto &, auto &in) { in.arguments = arguments; }, "usage");
}

void TestToolkitStream::RefusesBadInputWithoutWriting()
{
    QFETCH(bool, packing);
    QFETCH(Damage, damage);
    QFETCH(QString, message);
    StreamGame game;
    if (packing)
        QCOMPARE(game.Export({game.Archive("CH")}).exitCode, 0);
    Inputs in{Xor(game.packs["CH"], 0), game.lookupBytes, QString::fromLatin1(ReadFile(game.Metafile("CH")))};
    damage(game, in);
    QVERIFY(WriteFile(game.Archive("CH"), Xor(in.plain, 0)));
    QVERIFY(WriteFile(game.LookupPath(), in.lookup));
    QVERIFY(!packing || WriteFile(game.Metafile("CH"), in.metafile.toLatin1()));
    const auto before = Snapshot(game.Game());

    // When unpacking, AA comes first and is sound: nothing of it may be written either.
    const ToolRun run = !in.arguments.isEmpty() ? Run(game.tool, in.arguments)
                      : packing                 ? game.Import("CH")
                                                : game.Export({game.Archive("AA"), game.Archive("CH")});
    QVERIFY2(FailedWith(run, message, in.arguments.isEmpty() ? 1 : 2), qPrintable(run.errorText));
    QVERIFY(Snapshot(game.Game()) == before);
    QCOMPARE(FilesBelow(game.Work()).isEmpty(), !packing);
}

QTEST_GUILESS_MAIN(TestToolkitStream)
#include "tst_ToolkitStream.moc"
