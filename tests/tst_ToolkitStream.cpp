#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sndfile.h>

#include "GameAudioFiles.h"

using namespace GameAudioFiles;

namespace
{
const QString streamTool = QStringLiteral(KIVO_STREAM_PATH);

enum class SizeRule { Ogg, OggAndHeader };

// Three packs as the game keeps them, with an empty slot in StrmPaks.dat, a beat track whose
// length sits in slot 1, and lookup records in both size conventions.
struct StreamGame
{
    StreamGame()
    {
        QDir(dir.path()).mkpath(QStringLiteral("game/audio/CONFIG"));
        QDir(dir.path()).mkpath(QStringLiteral("game/audio/streams"));
        QDir(dir.path()).mkpath(QStringLiteral("work"));
        tracks[QStringLiteral("AA")] = {{OggVorbis(0.3, 440), {}, 0, 48000}, {OggVorbis(0.2, 660), {}, 0, 48000}};
        tracks[QStringLiteral("BEATS")] = {{OggVorbis(0.4, 220), {{100, 3}, {250, 4}, {400, 9}}, 1, 0},
                                           {OggVorbis(0.2, 330, 2, 24000), {}, 0, 24000}};
        tracks[QStringLiteral("CH")] = {{OggVorbis(0.2, 523), {}, 0, 48000},
                                        {OggVorbis(0.3, 587), {}, 0, 0},
                                        {OggVorbis(0.25, 659), {}, 0, 25137}};
        const QMap<QString, QList<SizeRule>> rules = {
            {QStringLiteral("AA"), {SizeRule::Ogg, SizeRule::Ogg}},
            {QStringLiteral("BEATS"), {SizeRule::OggAndHeader, SizeRule::OggAndHeader}},
            {QStringLiteral("CH"), {SizeRule::Ogg, SizeRule::OggAndHeader, SizeRule::Ogg}},
        };
        const QStringList slotNames = {QStringLiteral("AA"), QString(), QStringLiteral("BEATS"), QStringLiteral("CH")};
        QList<LookupRecord> records;
        for (int slot = 0; slot < slotNames.size(); ++slot) {
            const QString &name = slotNames[slot];
            if (name.isEmpty())
                continue;
            QList<quint32> offsets;
            packs[name] = StreamPack(tracks[name], &offsets);
            WriteFile(Pack(name), packs[name]);
            indexes[name] = slot;
            for (int t = 0; t < offsets.size(); ++t) {
                const quint32 length = quint32(tracks[name][t].ogg.size());
                records.append({quint8(slot), offsets[t], rules[name][t] == SizeRule::Ogg ? length : length + 8068});
                recordOwners.append({name, t, rules[name][t]});
            }
        }
        lookupBytes = Lookup(records, '\xCD');
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config(QStringLiteral("StrmPaks.dat")), NameTable(slotNames, 16));
    }

    QString Game() const { return dir.filePath(QStringLiteral("game")); }
    QString Work() const { return dir.filePath(QStringLiteral("work")); }
    QString Config(const QString &file) const { return Game() + QStringLiteral("/audio/CONFIG/") + file; }
    QString LookupPath() const { return Config(QStringLiteral("TrakLkup.dat")); }
    QString Pack(const QString &name) const { return Game() + QStringLiteral("/audio/streams/") + name; }
    QString Metafile(const QString &folder, const QString &work = QString()) const
    {
        return (work.isEmpty() ? Work() : work) + QLatin1Char('/') + folder + QStringLiteral("/stream_import.ini");
    }
    QString TrackFile(const QString &folder, int track, const QString &work = QString()) const
    {
        return QStringLiteral("%1/%2/Track_%3.ogg").arg(work.isEmpty() ? Work() : work, folder).arg(track, 3, 10, QLatin1Char('0'));
    }

    ToolRun Export(const QStringList &packPaths, const QString &work = QString()) const
    {
        return Run(streamTool, QStringList{QStringLiteral("-e")} + packPaths + QStringList{work.isEmpty() ? Work() : work});
    }
    ToolRun Import(const QString &name, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        return Run(streamTool, {QStringLiteral("-i"), Pack(name) + QStringLiteral(".new"), Metafile(name), LookupPath()},
                   Work() + QLatin1Char('/') + name, environment);
    }
    bool SwapInNewPack(const QString &name) const
    {
        return QFile::remove(Pack(name)) && QFile::rename(Pack(name) + QStringLiteral(".new"), Pack(name));
    }
    QMap<QString, QByteArray> GameSnapshot() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &file : FilesBelow(Game()))
            files[file] = ReadFile(Game() + QLatin1Char('/') + file);
        return files;
    }

    struct RecordOwner
    {
        QString pack;
        int track = 0;
        SizeRule rule = SizeRule::Ogg;
    };

    QTemporaryDir dir;
    QMap<QString, int> indexes;
    QList<RecordOwner> recordOwners; // one per lookup record
    QMap<QString, QList<Track>> tracks;
    QMap<QString, QByteArray> packs;
    QByteArray lookupBytes;
};

bool IsOneLine(const QString &text)
{
    return text.count(QLatin1Char('\n')) == 1 && text.endsWith(QLatin1Char('\n'));
}

quint32 U32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

enum class PackDamage {
    TruncatedInOggData, CutInsideHeader, NotEncoded, DamagedSecondHeader, LengthBeyondFile, TwoLengthSlots,
    NoLengthSlot, ZeroLength, BeatGap, GarbageInsteadOfOgg, Empty, MobileZip, Missing,
};

enum class ImportDamage {
    TextInsteadOfOgg, OggMagicThenGarbage, WavInsteadOfOgg, CutOffOgg, DamagedInsideOgg, TrackCountDiffers, MissingTrackSection, IndexDisagrees,
    LookupWrongSize, MissingBeat, RecordOfAnotherPack, UnknownSizeRule, NoStreamSection, MissingTrackFile, BankLookupGiven,
};
}

Q_DECLARE_METATYPE(PackDamage)
Q_DECLARE_METATYPE(ImportDamage)

class TestToolkitStream : public QObject
{
    Q_OBJECT

private slots:
    void UnpacksTracksAsOggWithTheirKeys();
    void RoundTripReproducesPackAndLookup_data();
    void RoundTripReproducesPackAndLookup();
    void ReplacedTrackComesBackExactly_data();
    void ReplacedTrackComesBackExactly();
    void NamesFoldersByStation_data();
    void NamesFoldersByStation();
    void RefusesDamagedPacksWithoutWriting_data();
    void RefusesDamagedPacksWithoutWriting();
    void RefusesDamagedImportsWithoutWriting_data();
    void RefusesDamagedImportsWithoutWriting();
    void InterruptedPackLeavesOldFilesUsable_data();
    void InterruptedPackLeavesOldFilesUsable();
    void RefusesWrongCommandLines_data();
    void RefusesWrongCommandLines();
};

void TestToolkitStream::UnpacksTracksAsOggWithTheirKeys()
{
    StreamGame game;
    // The fixture itself must encode as the game does: two unused beat entries open every pack.
    QCOMPARE(game.packs[QStringLiteral("AA")].left(16),
             QByteArray::fromHex("15C53B5E9AA814F3B74F28DC9DE8FFF1"));
    const ToolRun run = game.Export({game.Pack(QStringLiteral("BEATS")), game.Pack(QStringLiteral("CH"))});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));

    const QMap<QString, int> firstRecords = {{QStringLiteral("BEATS"), 2}, {QStringLiteral("CH"), 4}};
    for (const QString &name : firstRecords.keys()) {
        const auto ini = ReadIni(game.Metafile(name));
        QCOMPARE(ini[QStringLiteral("Stream")][QStringLiteral("basename")], name);
        QCOMPARE(ini[QStringLiteral("Stream")][QStringLiteral("lookup_index")].toInt(), game.indexes[name]);
        const QList<Track> &tracks = game.tracks[name];
        QCOMPARE(ini[QStringLiteral("Stream")][QStringLiteral("num_tracks")].toInt(), tracks.size());
        for (int t = 0; t < tracks.size(); ++t) {
            const auto &keys = ini[QStringLiteral("Track_%1").arg(t + 1, 3, 10, QLatin1Char('0'))];
            QCOMPARE(keys[QStringLiteral("filename")], QStringLiteral("Track_%1.ogg").arg(t + 1, 3, 10, QLatin1Char('0')));
            QCOMPARE(ReadFile(game.TrackFile(name, t + 1)), tracks[t].ogg);
            QCOMPARE(keys[QStringLiteral("beat_total")].toInt(), tracks[t].beats.size());
            QCOMPARE(keys[QStringLiteral("length_index")].toInt(), tracks[t].lengthIndex);
            QCOMPARE(keys[QStringLiteral("length_extra")].toUInt(), tracks[t].extra);
            QCOMPARE(keys[QStringLiteral("lookup_record")].toInt(), firstRecords[name] + t);
            for (int b = 0; b < tracks[t].beats.size(); ++b)
                QCOMPARE(keys[QStringLiteral("beat_%1").arg(b + 1, 3, 10, QLatin1Char('0'))],
                         QStringLiteral("%1,%2").arg(tracks[t].beats[b].first).arg(tracks[t].beats[b].second));
        }
    }
}

void TestToolkitStream::RoundTripReproducesPackAndLookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tablesAtExport");
    QTest::newRow("first pack") << QStringLiteral("AA") << true;
    QTest::newRow("beat tracks, length in slot 1") << QStringLiteral("BEATS") << true;
    QTest::newRow("mixed size conventions") << QStringLiteral("CH") << true;
    QTest::newRow("no tables beside the pack at export") << QStringLiteral("CH") << false;
}

void TestToolkitStream::RoundTripReproducesPackAndLookup()
{
    QFETCH(QString, name);
    QFETCH(bool, tablesAtExport);
    StreamGame game;
    QTemporaryDir elsewhere;
    QString exported = game.Pack(name);
    if (!tablesAtExport) {
        exported = elsewhere.filePath(name);
        QVERIFY(QFile::copy(game.Pack(name), exported));
    }
    QCOMPARE(game.Export({exported}).exitCode, 0);
    QCOMPARE(ReadIni(game.Metafile(name))[QStringLiteral("Stream")][QStringLiteral("lookup_index")].toInt(),
             tablesAtExport ? game.indexes[name] : -1);

    const ToolRun run = game.Import(name);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QCOMPARE(ReadFile(game.Pack(name) + QStringLiteral(".new")), game.packs[name]);
    QCOMPARE(ReadFile(game.LookupPath()), game.lookupBytes);
    QCOMPARE(ReadFile(game.LookupPath() + QStringLiteral(".bak")), game.lookupBytes);
}

void TestToolkitStream::ReplacedTrackComesBackExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("track");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("warning");
    QTest::newRow("longer, lookup size with header") << QStringLiteral("CH") << 2 << 1.0 << 2 << 32000 << QString();
    QTest::newRow("shorter, first track") << QStringLiteral("CH") << 1 << 0.05 << 2 << 32000 << QString();
    QTest::newRow("beat track") << QStringLiteral("BEATS") << 1 << 0.6 << 2 << 32000 << QStringLiteral("the beats are kept");
    QTest::newRow("mono 44.1 kHz") << QStringLiteral("AA") << 2 << 0.3 << 1 << 44100 << QStringLiteral("untested in the game");
}

void TestToolkitStream::ReplacedTrackComesBackExactly()
{
    QFETCH(QString, name);
    QFETCH(int, track);
    QFETCH(double, seconds);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(QString, warning);
    StreamGame game;
    QCOMPARE(game.Export({game.Pack(name)}).exitCode, 0);
    const QByteArray replacement = OggVorbis(seconds, 880, channels, rate);
    QVERIFY(!replacement.isEmpty());
    QVERIFY(WriteFile(game.TrackFile(name, track), replacement));

    const ToolRun run = game.Import(name);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QVERIFY2(warning.isEmpty() || run.errorText.contains(warning), qPrintable(run.errorText));
    QVERIFY(game.SwapInNewPack(name));

    // The pack's records follow its new layout in their own size convention; all other bytes stay.
    QList<Track> expected = game.tracks[name];
    expected[track - 1].ogg = replacement;
    const QByteArray lookup = ReadFile(game.LookupPath());
    QCOMPARE(lookup.size(), game.lookupBytes.size());
    quint32 offset = 0;
    for (int record = 0; record < game.recordOwners.size(); ++record) {
        const auto &owner = game.recordOwners[record];
        if (owner.pack != name) {
            QCOMPARE(lookup.mid(record * 12, 12), game.lookupBytes.mid(record * 12, 12));
            continue;
        }
        QCOMPARE(lookup.mid(record * 12, 4), game.lookupBytes.mid(record * 12, 4));
        const quint32 length = quint32(expected[owner.track].ogg.size());
        QCOMPARE(U32(lookup, record * 12 + 4), offset);
        QCOMPARE(U32(lookup, record * 12 + 8), owner.rule == SizeRule::Ogg ? length : length + 8068);
        offset += 8068 + length;
    }

    QTemporaryDir again;
    QCOMPARE(game.Export({game.Pack(name)}, again.path()).exitCode, 0);
    for (int t = 0; t < expected.size(); ++t)
        QCOMPARE(ReadFile(game.TrackFile(name, t + 1, again.path())), expected[t].ogg);
    const auto keys = ReadIni(game.Metafile(name, again.path()))[QStringLiteral("Track_%1").arg(track, 3, 10, QLatin1Char('0'))];
    QCOMPARE(keys[QStringLiteral("beat_total")].toInt(), expected[track - 1].beats.size());
    QCOMPARE(keys[QStringLiteral("length_extra")].toUInt(), expected[track - 1].extra);
}

void TestToolkitStream::NamesFoldersByStation_data()
{
    QTest::addColumn<QByteArray>("metadata"); // null: the file does not exist
    QTest::addColumn<QString>("folder");      // empty: the export must fail
    QTest::newRow("mapped") << QByteArray("stream = AA\nstation = Other\nstream = CH\nstation = Radio X\n") << QStringLiteral("Radio X");
    QTest::newRow("CRLF lines") << QByteArray("stream = CH\r\nstation = Radio X\r\n") << QStringLiteral("Radio X");
    QTest::newRow("later stream line wins") << QByteArray("stream = AA\nstream = CH\nstation = K-DST\n") << QStringLiteral("K-DST");
    QTest::newRow("not mapped") << QByteArray("stream = AA\nstation = Other\n") << QStringLiteral("CH");
    QTest::newRow("lines without blanks do not count") << QByteArray("stream=CH\nstation=Radio X\n") << QStringLiteral("CH");
    QTest::newRow("missing file") << QByteArray() << QStringLiteral("CH");
    QTest::newRow("station leaving the target") << QByteArray("stream = CH\nstation = ../outside\n") << QString();
    QTest::newRow("station with a separator") << QByteArray("stream = CH\nstation = a/b\n") << QString();
}

void TestToolkitStream::NamesFoldersByStation()
{
    QFETCH(QByteArray, metadata);
    QFETCH(QString, folder);
    StreamGame game;
    const QString metadataPath = game.dir.filePath(QStringLiteral("metadata-full.ini"));
    if (!metadata.isNull())
        QVERIFY(WriteFile(metadataPath, metadata));
    const QStringList before = FilesBelow(game.dir.path());

    const ToolRun run = Run(streamTool, {QStringLiteral("-r"), game.Pack(QStringLiteral("CH")), game.Work(), metadataPath});
    if (folder.isEmpty()) {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(IsOneLine(run.errorText) && run.errorText.contains(QStringLiteral("cannot be the name of a folder")),
                 qPrintable(run.errorText));
        QCOMPARE(FilesBelow(game.dir.path()), before);
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QCOMPARE(QDir(game.Work()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{folder});
    QCOMPARE(ReadIni(game.Metafile(folder))[QStringLiteral("Stream")][QStringLiteral("basename")], QStringLiteral("CH"));
    QCOMPARE(ReadFile(game.TrackFile(folder, 3)), game.tracks[QStringLiteral("CH")][2].ogg);
}

void TestToolkitStream::RefusesDamagedPacksWithoutWriting_data()
{
    QTest::addColumn<PackDamage>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated in the Ogg data") << PackDamage::TruncatedInOggData << "bytes of Ogg data, but";
    QTest::newRow("cut inside a header") << PackDamage::CutInsideHeader << "is cut off";
    QTest::newRow("not encoded") << PackDamage::NotEncoded << "not a PC stream pack";
    QTest::newRow("damaged second header") << PackDamage::DamagedSecondHeader << "CH, track 2: the track header is damaged";
    QTest::newRow("length beyond the file") << PackDamage::LengthBeyondFile << "claims 2147483647 bytes";
    QTest::newRow("two length slots") << PackDamage::TwoLengthSlots << "has 2 length entries";
    QTest::newRow("no length slot") << PackDamage::NoLengthSlot << "has 0 length entries";
    QTest::newRow("zero length") << PackDamage::ZeroLength << "claims 0 bytes";
    QTest::newRow("gap in the beat table") << PackDamage::BeatGap << "gap before entry 2";
    QTest::newRow("garbage instead of Ogg") << PackDamage::GarbageInsteadOfOgg << "does not hold Ogg data";
    QTest::newRow("empty") << PackDamage::Empty << "is empty";
    QTest::newRow("mobile ZIP") << PackDamage::MobileZip << "ZIP archive";
    QTest::newRow("missing") << PackDamage::Missing << "cannot open";
}

void TestToolkitStream::RefusesDamagedPacksWithoutWriting()
{
    QFETCH(PackDamage, damage);
    QFETCH(QString, message);
    StreamGame game;
    QByteArray plain = Xor(game.packs[QStringLiteral("CH")], 0);
    const int second = 8068 + game.tracks[QStringLiteral("CH")][0].ogg.size();
    const auto putU32 = [&plain](int at, quint32 value) { qToLittleEndian(value, plain.data() + at); };
    bool encode = true;
    switch (damage) {
    case PackDamage::TruncatedInOggData: plain.chop(100); break;
    case PackDamage::CutInsideHeader: plain.append(QByteArray(100, '\x01')); break;
    case PackDamage::NotEncoded: encode = false; break;
    case PackDamage::DamagedSecondHeader: plain[second + 8066] = 0; break;
    case PackDamage::LengthBeyondFile: putU32(8000, 0x7FFFFFFF); break;
    case PackDamage::TwoLengthSlots: putU32(8000 + 3 * 8, 1000); break;
    case PackDamage::NoLengthSlot: plain.replace(8000, 8, QByteArray(8, '\xCD')); break;
    case PackDamage::ZeroLength: putU32(8000, 0); break;
    case PackDamage::BeatGap: putU32(8, 500); break;
    case PackDamage::GarbageInsteadOfOgg: plain.replace(8068, 4, "RIFF"); break;
    case PackDamage::Empty: plain.clear(); break;
    case PackDamage::MobileZip: plain = Xor(QByteArray("PK\x03\x04zipzipzip", 13), 0); break;
    case PackDamage::Missing: break;
    }
    if (damage == PackDamage::Missing)
        QFile::remove(game.Pack(QStringLiteral("CH")));
    else
        WriteFile(game.Pack(QStringLiteral("CH")), encode ? Xor(plain, 0) : plain);
    const auto before = game.GameSnapshot();

    // AA comes first and is sound: nothing of it may be written either.
    const ToolRun run = game.Export({game.Pack(QStringLiteral("AA")), game.Pack(QStringLiteral("CH"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneLine(run.errorText), qPrintable(run.errorText));
    QVERIFY2(run.errorText.contains(message), qPrintable(run.errorText));
    QVERIFY(FilesBelow(game.Work()).isEmpty());
    QVERIFY(game.GameSnapshot() == before);
}

void TestToolkitStream::RefusesDamagedImportsWithoutWriting_data()
{
    QTest::addColumn<ImportDamage>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("text instead of Ogg") << ImportDamage::TextInsteadOfOgg << "Track_002.ogg is not an Ogg Vorbis file";
    QTest::newRow("Ogg magic, then garbage") << ImportDamage::OggMagicThenGarbage << "Track_002.ogg is not a readable Ogg Vorbis file";
    QTest::newRow("WAV instead of Ogg") << ImportDamage::WavInsteadOfOgg << "Track_002.ogg is not an Ogg Vorbis file";
    QTest::newRow("Ogg cut off") << ImportDamage::CutOffOgg << "Track_002.ogg is cut off";
    QTest::newRow("Ogg damaged after its first page") << ImportDamage::DamagedInsideOgg << "Track_002.ogg is damaged";
    QTest::newRow("track count differs") << ImportDamage::TrackCountDiffers << "lists 2 tracks, but the track lookup file has 3";
    QTest::newRow("track section missing") << ImportDamage::MissingTrackSection << "has no section [Track_002]";
    QTest::newRow("index disagrees with StrmPaks.dat") << ImportDamage::IndexDisagrees << "lookup_index 0";
    QTest::newRow("lookup of the wrong size") << ImportDamage::LookupWrongSize << "not a whole number of 12-byte records";
    QTest::newRow("beat missing") << ImportDamage::MissingBeat << "beat_001 is missing";
    QTest::newRow("record of another pack") << ImportDamage::RecordOfAnotherPack << "is not a record of this pack";
    QTest::newRow("unknown size rule") << ImportDamage::UnknownSizeRule << "is none of ogg, ogg+header, zero";
    QTest::newRow("no Stream section") << ImportDamage::NoStreamSection << "has no [Stream] section";
    QTest::newRow("track file missing") << ImportDamage::MissingTrackFile << "cannot open";
    QTest::newRow("bank lookup file given") << ImportDamage::BankLookupGiven << "is the wrong lookup file";
}

void TestToolkitStream::RefusesDamagedImportsWithoutWriting()
{
    QFETCH(ImportDamage, damage);
    QFETCH(QString, message);
    StreamGame game;
    QCOMPARE(game.Export({game.Pack(QStringLiteral("CH"))}).exitCode, 0);
    const QString metafile = game.Metafile(QStringLiteral("CH"));
    QString text = QString::fromLatin1(ReadFile(metafile));
    const QString track = game.TrackFile(QStringLiteral("CH"), 2);
    switch (damage) {
    case ImportDamage::TextInsteadOfOgg: WriteFile(track, "no music here\n"); break;
    case ImportDamage::OggMagicThenGarbage: WriteFile(track, "OggS" + QByteArray(5000, '\x55')); break;
    case ImportDamage::WavInsteadOfOgg:
        QVERIFY(WriteSoundFile(track, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, Tone(800, 440, 8000, 1000)));
        break;
    case ImportDamage::CutOffOgg: WriteFile(track, game.tracks[QStringLiteral("CH")][1].ogg.chopped(100)); break;
    case ImportDamage::DamagedInsideOgg: {
        QByteArray ogg = game.tracks[QStringLiteral("CH")][1].ogg;
        const int secondPage = ogg.indexOf("OggS", 4);
        WriteFile(track, ogg.replace(secondPage, 4, "XXXX"));
        break;
    }
    case ImportDamage::TrackCountDiffers: text.replace(QStringLiteral("num_tracks=3"), QStringLiteral("num_tracks=2")); break;
    case ImportDamage::MissingTrackSection: text.replace(QStringLiteral("[Track_002]"), QStringLiteral("[Track_2]")); break;
    case ImportDamage::IndexDisagrees: text.replace(QStringLiteral("lookup_index=3"), QStringLiteral("lookup_index=0")); break;
    case ImportDamage::LookupWrongSize: WriteFile(game.LookupPath(), game.lookupBytes + "x"); break;
    case ImportDamage::MissingBeat:
        text.replace(QStringLiteral("[Track_001]\nfilename=Track_001.ogg\nbeat_total=0"),
                     QStringLiteral("[Track_001]\nfilename=Track_001.ogg\nbeat_total=1"));
        break;
    case ImportDamage::RecordOfAnotherPack: text.replace(QStringLiteral("lookup_record=5"), QStringLiteral("lookup_record=0")); break;
    case ImportDamage::UnknownSizeRule: text.replace(QStringLiteral("lookup_size=ogg+header"), QStringLiteral("lookup_size=bytes")); break;
    case ImportDamage::NoStreamSection: text.replace(QStringLiteral("[Stream]"), QStringLiteral("[Streams]")); break;
    case ImportDamage::MissingTrackFile: QFile::remove(track); break;
    case ImportDamage::BankLookupGiven: QVERIFY(QFile::copy(game.LookupPath(), game.Config(QStringLiteral("BankLkup.dat")))); break;
    }
    QVERIFY(WriteFile(metafile, text.toLatin1()));
    const auto before = game.GameSnapshot();

    const QString lookup = damage == ImportDamage::BankLookupGiven ? game.Config(QStringLiteral("BankLkup.dat")) : game.LookupPath();
    const ToolRun run = Run(streamTool, {QStringLiteral("-i"), game.Pack(QStringLiteral("CH")) + QStringLiteral(".new"), metafile, lookup},
                            game.Work() + QStringLiteral("/CH"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneLine(run.errorText), qPrintable(run.errorText));
    QVERIFY2(run.errorText.contains(message), qPrintable(run.errorText));
    QVERIFY(game.GameSnapshot() == before);
}

void TestToolkitStream::InterruptedPackLeavesOldFilesUsable_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<bool>("newPackComplete");
    QTest::newRow("killed while writing the pack") << QStringLiteral("archive") << false;
    QTest::newRow("killed before the lookup file is replaced") << QStringLiteral("lookup") << true;
}

void TestToolkitStream::InterruptedPackLeavesOldFilesUsable()
{
    QFETCH(QString, point);
    QFETCH(bool, newPackComplete);
    StreamGame game;
    QCOMPARE(game.Export({game.Pack(QStringLiteral("CH"))}).exitCode, 0);

    const QString newPack = game.Pack(QStringLiteral("CH")) + QStringLiteral(".new");
    const QByteArray said = KillAtPause(streamTool, {QStringLiteral("-i"), newPack, game.Metafile(QStringLiteral("CH")), game.LookupPath()},
                                        game.Work() + QStringLiteral("/CH"), point);
    QVERIFY2(said.contains("paused at " + point.toLatin1()), said.constData());

    QCOMPARE(ReadFile(game.LookupPath()), game.lookupBytes);
    QVERIFY(!QFile::exists(game.LookupPath() + QStringLiteral(".bak")));
    QCOMPARE(ReadFile(game.Pack(QStringLiteral("CH"))), game.packs[QStringLiteral("CH")]);
    QCOMPARE(QFile::exists(newPack), newPackComplete);
    if (newPackComplete)
        QCOMPARE(ReadFile(newPack), game.packs[QStringLiteral("CH")]);
}

void TestToolkitStream::RefusesWrongCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("export without pack") << QStringList{QStringLiteral("-e"), QStringLiteral("target")};
    QTest::newRow("station export without station file")
        << QStringList{QStringLiteral("-r"), QStringLiteral("pack"), QStringLiteral("target")};
    QTest::newRow("import without lookup file") << QStringList{QStringLiteral("-i"), QStringLiteral("a"), QStringLiteral("b")};
}

void TestToolkitStream::RefusesWrongCommandLines()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = Run(streamTool, arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(IsOneLine(run.errorText));
    QVERIFY(run.errorText.contains(QStringLiteral("usage")));
}

QTEST_GUILESS_MAIN(TestToolkitStream)
#include "tst_ToolkitStream.moc"
