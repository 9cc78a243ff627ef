#include <QFile>
#include <QTest>
#include <QtEndian>

#include <functional>

#include <sndfile.h>

#include "GameAudioFiles.h"

using namespace GameAudioFiles;

namespace
{
const QStringList packageNames = {"FEET", "GENRL", "PAIN_A"};

// A saw over most of the range, with both extremes at its ends.
QVector<qint16> Sweep(int count)
{
    QVector<qint16> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = i == 0 ? qint16(-32768) : i == count - 1 ? qint16(32767) : qint16((i * 97) % 60000 - 30000);
    return samples;
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

    ToolRun Export(const QStringList &names, const QString &work = QString(),
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        QStringList arguments{"-e"};
        for (const QString &name : names)
            arguments << Archive(name);
        return Run(tool, arguments << (work.isEmpty() ? Work() : work) << LookupPath(), QString(), environment);
    }

    QMap<QString, QList<Bank>> banks;
    QMap<QString, QByteArray> packages;
};

// Compares what the tool unpacked into work/name with banks, sound by sound and key by key.
void CompareUnpacked(const QString &work, const QString &name, const QList<Bank> &banks)
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

// What the tool reads, as a damage leaves it: GENRL's package, the lookup file,
// when packing the unpacked GENRL's metafile, or else a command line of its own.
struct Inputs
{
    QByteArray package;
    QByteArray lookup;
    QString metafile;
    QStringList arguments;
};
using Damage = std::function<void(SfxGame &, Inputs &)>;
}

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(Sound)

class TestToolkitSfx : public QObject
{
    Q_OBJECT

private slots:
    void PackingReproducesTheGame_data();
    void PackingReproducesTheGame();
    void RefusesBadInputWithoutWriting_data();
    void RefusesBadInputWithoutWriting();
};

void TestToolkitSfx::PackingReproducesTheGame_data()
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
    // Where files cannot be created without a name, a killed run leaves its temporary, which
    // must not stand in the way of the next.
    same("after a kill, named temporaries", "GENRL", "KIVO_TEST_NAMED_TEMPORARIES", "archive");

    const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    // The replaced sound is 800 samples long and loops from sample 100.
    replaced("longer, loop kept", pcm16, 1, 11025, {Tone(3000, 330, 11025, 20000), 11025, 100}, {"grew from"});
    replaced("empty", pcm16, 1, 12000, {{}, 12000, -1}, {"no longer loops"});
    // Multiples of 256 survive 8-bit storage.
    QVector<qint16> steps;
    for (int i = 0; i < 500; ++i)
        steps << qint16(((i * 37) % 201 - 100) * 256);
    const QStringList converted{"was converted"};
    replaced("mono 24-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 22050, {steps, 22050, 100}, converted);
    replaced("stereo float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, {steps, 44100, 100}, converted);
    replaced("mono 8-bit", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 11025, {steps, 11025, 100}, converted);
    replaced("mono 16-bit at 96 kHz", pcm16, 1, 96000, {steps, 48000, 100}, converted);
    replaced("big-endian AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, {steps, 22050, 100}, converted);
}

void TestToolkitSfx::PackingReproducesTheGame()
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
    QCOMPARE(game.Export(packageNames, QString(), environment).exitCode, 0);
    CompareUnpacked(game.Work(), name, game.banks[name]);
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
    // Three packages and the new one, besides what a killed run with named temporaries left.
    const QStringList files = FilesBelow(game.Game() + "/audio/SFX");
    QCOMPARE(files.size() - files.filter(".kivo-").size(), 4);
    QCOMPARE(files.filter(".kivo-").isEmpty(), killedAt.isEmpty() || testSwitch != "KIVO_TEST_NAMED_TEMPORARIES");
}

void TestToolkitSfx::RefusesBadInputWithoutWriting_data()
{
    QTest::addColumn<bool>("packing");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("message");
    const auto row = [](bool packing) {
        return [=](const char *name, const Damage &damage, const char *message) { QTest::newRow(name) << packing << damage << QString(message); };
    };
    const auto unpacking = row(false), packing = row(true);
    const int sound2 = 4 + 12; // the descriptor of bank 1, sound 2 in GENRL
    const auto pakFiles = [](SfxGame &game, const QByteArray &bytes) { WriteFile(game.Config("PakFiles.dat"), bytes); };
    unpacking("truncated package", [](auto &, auto &in) { in.package.chop(100); }, "beyond the end of the package");
    // Offset and size add up beyond 32 bits.
    unpacking("bank size beyond the file", [](auto &, auto &in) { PutU32(in.lookup, 3 * 12 + 8, 0xFFFFFFF0u); }, "beyond the end of the package");
    unpacking("65535 sounds", [](auto &, auto &in) { in.package[0] = in.package[1] = '\xFF'; }, "claims 65535 sounds");
    unpacking("lookup of the wrong size", [](auto &, auto &in) { in.lookup.append("12345"); },
              "not a whole number of 12-byte records");
    unpacking("lookup of 65536 records", [](auto &, auto &in) { in.lookup.append(QByteArray(12 * 65536 - in.lookup.size(), '\x09')); },
              "more than 65535 records");
    unpacking("descending sound offsets", [](auto &, auto &in) { PutU32(in.package, sound2 + 12, 2); },
              "starts before the sound in front of it");
    unpacking("odd sound offset", [](auto &, auto &in) { PutU32(in.package, sound2, 2001); }, "odd byte");
    unpacking("sound beyond its bank", [](auto &, auto &in) { PutU32(in.package, sound2 + 12, 1000000); }, "beyond the bank");
    unpacking("sample rate 0", [](auto &, auto &in) { in.package[sound2 + 8] = in.package[sound2 + 9] = 0; }, "sample rate of 0");
    unpacking("first sound not at the start", [](auto &, auto &in) { PutU32(in.package, 4, 2); }, "does not start at the beginning");
    unpacking("odd bank size",
              [](auto &, auto &in) { PutU32(in.lookup, 32, qFromLittleEndian<quint32>(in.lookup.constData() + 32) + 1); },
              "odd size");
    unpacking("no sounds but data", [](auto &, auto &in) { in.package[4804 + 2 * 2200] = in.package[0] = 0; }, "has no sounds but");
    unpacking("package not in PakFiles.dat", [=](auto &g, auto &) { pakFiles(g, NameTable({"FEET", "SCRIPT"}, 52)); },
              "not listed in PakFiles.dat");
    unpacking("PakFiles.dat missing", [](auto &g, auto &) { QFile::remove(g.Config("PakFiles.dat")); }, "PakFiles.dat was not found");
    unpacking("name without NUL", [=](auto &g, auto &) { pakFiles(g, NameTable({"FEET"}, 52) + QByteArray(52, 'A')); },
              "no terminating NUL");
    unpacking("mobile ZIP", [](auto &, auto &in) { in.package.replace(0, 4, QByteArray("PK\x03\x04", 4)); }, "ZIP archive");

    // Each edit replaces one line or section name of the metafile.
    const auto edit = [](const char *from, const char *to) {
        return [=](auto &, auto &in) { in.metafile.replace(QLatin1String(from), QLatin1String(to)); };
    };
    const auto lastSound = [](SfxGame &game) { return game.Work() + "/GENRL/Bank_003/sound_002.wav"; };
    packing("bank count differs", edit("num_banks=3", "num_banks=2"), "lists 2 banks, but the bank lookup file has 3");
    packing("401 sounds", edit("num_sounds=2", "num_sounds=401"), "num_sounds = 401 is outside 0 to 400");
    packing("bank section missing", edit("[Bank_002]", "[Bank_02]"), "has no section [Bank_002]");
    packing("file name missing", edit("sound_001.filename=Bank_002", "sound_001.name=Bank_002"), "sound_001.filename is missing");
    packing("wrong lookup record", edit("lookup_record=3", "lookup_record=0"), "belongs to lookup record 0");
    packing("index disagrees with PakFiles.dat", edit("lookup_index=1", "lookup_index=2"), "lookup_index 2");
    packing("no Archive section", edit("[Archive]", "[Archiv]"), "has no [Archive] section");
    packing("number is text", edit("sound_001.unknown_16=-200", "sound_001.unknown_16=loud"), "is not a whole number");
    packing("sound is not audio", [=](auto &g, auto &) { WriteFile(lastSound(g), "this is a text file, not a sound\n"); },
            "Bank_003/sound_002.wav is not a sound file");
    packing("sound file missing", [=](auto &g, auto &) { QFile::remove(lastSound(g)); }, "Bank_003/sound_002.wav: No such file");
    packing("track lookup file given", [](auto &g, auto &) { g.lookupName = "TrakLkup.dat"; }, "is the wrong lookup file");

    // A wrong command line is refused (with exit code 2) before anything is read.
    for (const QStringList &arguments : {QStringList{"-e", "target", "BankLkup.dat"}, QStringList{"-i", "a", "b", "c", "d"}})
        unpacking(qPrintable(arguments.join(' ')), [=](auto &, auto &in) { in.arguments = arguments; }, "usage");
}

void TestToolkitSfx::RefusesBadInputWithoutWriting()
{
    QFETCH(bool, packing);
    QFETCH(Damage, damage);
    QFETCH(QString, message);
    SfxGame game;
    if (packing)
        QCOMPARE(game.Export({"GENRL"}).exitCode, 0);
    Inputs in{game.packages["GENRL"], game.lookupBytes, QString::fromLatin1(ReadFile(game.Metafile("GENRL")))};
    damage(game, in);
    QVERIFY(WriteFile(game.Archive("GENRL"), in.package));
    QVERIFY(WriteFile(game.LookupPath(), in.lookup));
    QVERIFY(!packing || WriteFile(game.Metafile("GENRL"), in.metafile.toLatin1()));
    const auto before = Snapshot(game.Game());

    // When unpacking, FEET comes first and is sound: nothing of it may be written either.
    const ToolRun run = !in.arguments.isEmpty() ? Run(game.tool, in.arguments)
                      : packing                 ? game.Import("GENRL")
                                                : game.Export({"FEET", "GENRL"});
    QVERIFY2(FailedWith(run, message, in.arguments.isEmpty() ? 1 : 2), qPrintable(run.errorText));
    // No new package, no backup, no temporary: the game folder is exactly as it was.
    QVERIFY(Snapshot(game.Game()) == before);
    QCOMPARE(FilesBelow(game.Work()).isEmpty(), !packing);
}

QTEST_GUILESS_MAIN(TestToolkitSfx)
#include "tst_ToolkitSfx.moc"
