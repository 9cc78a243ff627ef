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
const QString sfxTool = QStringLiteral(KIVO_SFX_PATH);

QVector<qint16> Sweep(int count)
{
    QVector<qint16> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = qint16((i * 97) % 60000 - 30000);
    return samples;
}

QVector<qint16> Clicks(int count)
{
    QVector<qint16> samples(count, 0);
    for (int i = 0; i < count; i += 50)
        samples[i] = i % 100 ? qint16(-32768) : qint16(32767);
    return samples;
}

// Three packages in the stock layout; most tests work on GENRL, the other two check that their
// records and files stay untouched.
struct SfxGame
{
    SfxGame()
    {
        QDir(dir.path()).mkpath(QStringLiteral("game/audio/CONFIG"));
        QDir(dir.path()).mkpath(QStringLiteral("game/audio/SFX"));
        QDir(dir.path()).mkpath(QStringLiteral("work"));
        banks[QStringLiteral("FEET")] = {{{Tone(500, 440, 16000, 8000), 16000, -1, -125}, {Tone(300, 880, 16000, 4000), 16000, -1, -125}}};
        banks[QStringLiteral("GENRL")] = {
            {{Tone(1000, 440, 22050, 12000), 22050, -1, -200}, {Sweep(800), 12000, 100, 6229}, {Clicks(400), 8000, -1, 0}},
            {{{}, 12000, -1, -200}, {Tone(200, 100, 2021, 1000), 2021, 0, 17}},
            {{Tone(600, 300, 48000, 30000), 48000, 0, -32768}, {Tone(50, 1000, 65535, 32767), 65535, 49, 32767}},
        };
        // The long sound is copied in several pieces when it goes through memory.
        banks[QStringLiteral("PAIN_A")] = {{{Tone(100, 200, 12000, 500), 12000, -1, 0}, {Sweep(300000), 44100, -1, 0}}};
        const QStringList names = {QStringLiteral("FEET"), QStringLiteral("GENRL"), QStringLiteral("PAIN_A")};
        QList<LookupRecord> records;
        for (int i = 0; i < names.size(); ++i)
            packages[names[i]] = SfxPackage(banks[names[i]], quint8(i), records);
        for (int i = 0; i < names.size(); ++i)
            WriteFile(Package(names[i]), packages[names[i]]);
        lookupBytes = Lookup(records, '\xCC');
        WriteFile(LookupPath(), lookupBytes);
        WriteFile(Config(QStringLiteral("PakFiles.dat")), NameTable(names, 52));
    }

    QString Game() const { return dir.filePath(QStringLiteral("game")); }
    QString Work() const { return dir.filePath(QStringLiteral("work")); }
    QString Config(const QString &file) const { return Game() + QStringLiteral("/audio/CONFIG/") + file; }
    QString LookupPath() const { return Config(QStringLiteral("BankLkup.dat")); }
    QString Package(const QString &name) const { return Game() + QStringLiteral("/audio/SFX/") + name; }
    QString Metafile(const QString &name, const QString &work = QString()) const
    {
        return (work.isEmpty() ? Work() : work) + QLatin1Char('/') + name + QStringLiteral("/sfx_import.ini");
    }

    ToolRun Export(const QStringList &names, const QString &work = QString(),
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        QStringList arguments{QStringLiteral("-e")};
        for (const QString &name : names)
            arguments << Package(name);
        arguments << (work.isEmpty() ? Work() : work) << LookupPath();
        return Run(sfxTool, arguments, QString(), environment);
    }
    ToolRun Import(const QString &name,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        return Run(sfxTool, {QStringLiteral("-i"), Package(name) + QStringLiteral(".new"), Metafile(name), LookupPath()},
                   Work() + QLatin1Char('/') + name, environment);
    }
    // What the program does after a successful import.
    bool SwapInNewPackage(const QString &name) const
    {
        return QFile::remove(Package(name)) && QFile::rename(Package(name) + QStringLiteral(".new"), Package(name));
    }
    QMap<QString, QByteArray> GameSnapshot() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &file : FilesBelow(Game()))
            files[file] = ReadFile(Game() + QLatin1Char('/') + file);
        return files;
    }

    QTemporaryDir dir;
    QMap<QString, QList<Bank>> banks;
    QMap<QString, QByteArray> packages;
    QByteArray lookupBytes;
};

QString WavPath(const QString &work, const QString &package, int bank, int sound)
{
    return QStringLiteral("%1/%2/Bank_%3/sound_%4.wav").arg(work, package).arg(bank, 3, 10, QLatin1Char('0')).arg(sound, 3, 10, QLatin1Char('0'));
}

bool IsOneLine(const QString &text)
{
    return text.count(QLatin1Char('\n')) == 1 && text.endsWith(QLatin1Char('\n'));
}

// Bytes 0..3 of record r hold the package byte and its padding; 4..11 the location.
QByteArray WithoutLocations(QByteArray lookup, const QList<int> &records)
{
    for (const int record : records)
        lookup.replace(record * 12 + 4, 8, QByteArray(8, '\0'));
    return lookup;
}

enum class PackageDamage {
    TruncatedPackage, BankBeyondFile, BankSizeBeyondFile, TooManySounds, LookupWrongSize, LookupTooLarge,
    DescendingOffsets, OddOffset, OffsetBeyondBank, ZeroRate, FirstSoundNotAtStart, OddBankSize,
    NoSoundsButData, NotInPakFiles, PakFilesMissing, PakFilesNameWithoutNul, MobileZip, MissingPackage,
};

enum class ImportDamage {
    BankCountDiffers, TooManySounds, MissingBankSection, MissingFileName, WrongLookupRecord, LookupWrongSize,
    IndexDisagrees, NoArchiveSection, SoundIsNotAudio, MissingSoundFile, NumberIsText, TrackLookupGiven,
};
}

Q_DECLARE_METATYPE(PackageDamage)
Q_DECLARE_METATYPE(ImportDamage)

class TestToolkitSfx : public QObject
{
    Q_OBJECT

private slots:
    void UnpacksEverySoundAsMonoWavWithItsKeys();
    void RoundTripReproducesPackageAndLookup_data();
    void RoundTripReproducesPackageAndLookup();
    void ReplacedSoundComesBackExactly_data();
    void ReplacedSoundComesBackExactly();
    void ConvertsReplacementSounds_data();
    void ConvertsReplacementSounds();
    void RefusesDamagedPackagesWithoutWriting_data();
    void RefusesDamagedPackagesWithoutWriting();
    void RefusesDamagedImportsWithoutWriting_data();
    void RefusesDamagedImportsWithoutWriting();
    void InterruptedPackLeavesOldFilesUsable_data();
    void InterruptedPackLeavesOldFilesUsable();
    void RefusesWrongCommandLines_data();
    void RefusesWrongCommandLines();
};

void TestToolkitSfx::UnpacksEverySoundAsMonoWavWithItsKeys()
{
    SfxGame game;
    const ToolRun run = game.Export({QStringLiteral("FEET"), QStringLiteral("GENRL"), QStringLiteral("PAIN_A")});
    QCOMPARE(run.exitCode, 0);

    for (const QString &name : {QStringLiteral("FEET"), QStringLiteral("GENRL"), QStringLiteral("PAIN_A")}) {
        const auto ini = ReadIni(game.Metafile(name));
        QCOMPARE(ini[QStringLiteral("Archive")][QStringLiteral("basename")], name);
        const QList<Bank> &banks = game.banks[name];
        QCOMPARE(ini[QStringLiteral("Archive")][QStringLiteral("num_banks")].toInt(), banks.size());
        for (int b = 0; b < banks.size(); ++b) {
            const QString section = QStringLiteral("Bank_%1").arg(b + 1, 3, 10, QLatin1Char('0'));
            QCOMPARE(ini[section][QStringLiteral("num_sounds")].toInt(), banks[b].size());
            for (int s = 0; s < banks[b].size(); ++s) {
                const QString key = QStringLiteral("sound_%1.").arg(s + 1, 3, 10, QLatin1Char('0'));
                const Sound &sound = banks[b][s];
                QCOMPARE(ini[section][key + QStringLiteral("filename")],
                         QStringLiteral("%1/sound_%2.wav").arg(section).arg(s + 1, 3, 10, QLatin1Char('0')));
                QCOMPARE(ini[section][key + QStringLiteral("sample_rate")].toInt(), int(sound.rate));
                QCOMPARE(ini[section][key + QStringLiteral("unknown_16")].toInt(), int(sound.headroom));
                QCOMPARE(ini[section][key + QStringLiteral("loop_offset")].toInt(), sound.loop);
                const Wav wav = ReadWav(WavPath(game.Work(), name, b + 1, s + 1));
                QVERIFY(wav.ok);
                QCOMPARE(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
                QCOMPARE(wav.channels, 1);
                QCOMPARE(wav.rate, int(sound.rate));
                QCOMPARE(wav.samples, sound.samples);
            }
        }
    }
    QCOMPARE(ReadIni(game.Metafile(QStringLiteral("GENRL")))[QStringLiteral("Archive")][QStringLiteral("lookup_index")], QStringLiteral("1"));
}

void TestToolkitSfx::RoundTripReproducesPackageAndLookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("throughMemory");
    QTest::newRow("first package") << QStringLiteral("FEET") << false;
    QTest::newRow("middle package with an empty sound") << QStringLiteral("GENRL") << false;
    QTest::newRow("last package") << QStringLiteral("PAIN_A") << false;
    // Where the system cannot copy between two files (another system, another disk), sound data
    // passes through the tool's memory instead.
    QTest::newRow("empty sound, copied through memory") << QStringLiteral("GENRL") << true;
    QTest::newRow("long sound, copied through memory") << QStringLiteral("PAIN_A") << true;
}

void TestToolkitSfx::RoundTripReproducesPackageAndLookup()
{
    QFETCH(QString, name);
    QFETCH(bool, throughMemory);
    SfxGame game;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (throughMemory)
        environment.insert(QStringLiteral("KIVO_TEST_PLAIN_COPY"), QStringLiteral("1"));
    QCOMPARE(game.Export({name}, QString(), environment).exitCode, 0);
    const QList<Bank> &banks = game.banks[name];
    for (int b = 0; b < banks.size(); ++b)
        for (int s = 0; s < banks[b].size(); ++s)
            QCOMPARE(ReadWav(WavPath(game.Work(), name, b + 1, s + 1)).samples, banks[b][s].samples);
    const ToolRun run = game.Import(name, environment);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));

    QCOMPARE(ReadFile(game.Package(name) + QStringLiteral(".new")), game.packages[name]);
    QCOMPARE(ReadFile(game.LookupPath()), game.lookupBytes);
    QCOMPARE(ReadFile(game.LookupPath() + QStringLiteral(".bak")), game.lookupBytes);
    QCOMPARE(ReadFile(game.Package(name)), game.packages[name]);
    QCOMPARE(FilesBelow(game.Game() + QStringLiteral("/audio/SFX")).size(), 4); // three packages and the new one
}

void TestToolkitSfx::ReplacedSoundComesBackExactly_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("expectedLoop");
    QTest::addColumn<bool>("grows");
    // The replaced sound loops from sample 100.
    QTest::newRow("longer, loop kept") << 3000 << 11025 << 100 << true;
    QTest::newRow("shorter than its loop start") << 60 << 12000 << -1 << false;
    QTest::newRow("empty") << 0 << 12000 << -1 << false;
}

void TestToolkitSfx::ReplacedSoundComesBackExactly()
{
    QFETCH(int, length);
    QFETCH(int, rate);
    QFETCH(int, expectedLoop);
    QFETCH(bool, grows);
    SfxGame game;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}).exitCode, 0);
    const QVector<qint16> replacement = Tone(length, 330, rate, 20000);
    QVERIFY(WriteSoundFile(WavPath(game.Work(), QStringLiteral("GENRL"), 1, 2), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate, replacement));

    const ToolRun run = game.Import(QStringLiteral("GENRL"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QCOMPARE(run.errorText.contains(QStringLiteral("grew from")), grows);
    QCOMPARE(run.errorText.contains(QStringLiteral("no longer loops")), expectedLoop == -1);
    QVERIFY(game.SwapInNewPackage(QStringLiteral("GENRL")));

    // Only GENRL's location fields may change; every package byte and padding byte stays.
    const QByteArray lookup = ReadFile(game.LookupPath());
    QCOMPARE(WithoutLocations(lookup, {1, 2, 3}), WithoutLocations(game.lookupBytes, {1, 2, 3}));
    QCOMPARE(ReadFile(game.LookupPath() + QStringLiteral(".bak")), game.lookupBytes);
    QCOMPARE(ReadFile(game.Package(QStringLiteral("FEET"))), game.packages[QStringLiteral("FEET")]);

    QTemporaryDir again;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}, again.path()).exitCode, 0);
    const auto ini = ReadIni(game.Metafile(QStringLiteral("GENRL"), again.path()));
    const QList<Bank> &banks = game.banks[QStringLiteral("GENRL")];
    for (int b = 0; b < banks.size(); ++b) {
        for (int s = 0; s < banks[b].size(); ++s) {
            const Wav wav = ReadWav(WavPath(again.path(), QStringLiteral("GENRL"), b + 1, s + 1));
            QVERIFY(wav.ok);
            const bool replaced = b == 0 && s == 1;
            QCOMPARE(wav.samples, replaced ? replacement : banks[b][s].samples);
            QCOMPARE(wav.rate, replaced ? rate : int(banks[b][s].rate));
            const QString section = QStringLiteral("Bank_%1").arg(b + 1, 3, 10, QLatin1Char('0'));
            const QString key = QStringLiteral("sound_%1.").arg(s + 1, 3, 10, QLatin1Char('0'));
            QCOMPARE(ini[section][key + QStringLiteral("loop_offset")].toInt(), replaced ? expectedLoop : banks[b][s].loop);
            QCOMPARE(ini[section][key + QStringLiteral("unknown_16")].toInt(), int(banks[b][s].headroom));
        }
    }
}

void TestToolkitSfx::ConvertsReplacementSounds_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("expectedRate");
    QTest::addColumn<bool>("converted");
    QTest::newRow("stereo 16-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 2 << 22050 << 22050 << true;
    QTest::newRow("mono 24-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 1 << 22050 << 22050 << true;
    QTest::newRow("stereo float") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 2 << 44100 << 44100 << true;
    QTest::newRow("mono 8-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 1 << 11025 << 11025 << true;
    QTest::newRow("mono 16-bit at another rate") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 1 << 8000 << 8000 << false;
    QTest::newRow("mono 16-bit at 96 kHz") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 1 << 96000 << 48000 << true;
    QTest::newRow("big-endian AIFF") << (SF_FORMAT_AIFF | SF_FORMAT_PCM_16) << 1 << 22050 << 22050 << true;
}

void TestToolkitSfx::ConvertsReplacementSounds()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, expectedRate);
    QFETCH(bool, converted);
    // Multiples of 256 survive 8-bit storage; the channels differ but average to the expected
    // sample; at 96 kHz each sample comes twice, so averaging pairs gives it back.
    QVector<qint16> expected;
    QVector<qint16> interleaved;
    const int repeat = rate / expectedRate;
    for (int i = 0; i < 500; ++i) {
        const int value = ((i * 37) % 201 - 100) * 256;
        expected << qint16(value);
        for (int r = 0; r < repeat; ++r) {
            if (channels == 1)
                interleaved << qint16(value);
            else
                interleaved << qint16(value + 512) << qint16(value - 512);
        }
    }
    SfxGame game;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}).exitCode, 0);
    QVERIFY(WriteSoundFile(WavPath(game.Work(), QStringLiteral("GENRL"), 3, 1), format, channels, rate, interleaved));

    const ToolRun run = game.Import(QStringLiteral("GENRL"));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
    QCOMPARE(run.errorText.contains(QStringLiteral("was converted")), converted);
    QVERIFY(game.SwapInNewPackage(QStringLiteral("GENRL")));
    QTemporaryDir again;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}, again.path()).exitCode, 0);
    const Wav wav = ReadWav(WavPath(again.path(), QStringLiteral("GENRL"), 3, 1));
    QCOMPARE(wav.rate, expectedRate);
    QCOMPARE(wav.samples, expected);
    QCOMPARE(ReadWav(WavPath(again.path(), QStringLiteral("GENRL"), 3, 2)).samples, game.banks[QStringLiteral("GENRL")][2][1].samples);
}

void TestToolkitSfx::RefusesDamagedPackagesWithoutWriting_data()
{
    QTest::addColumn<PackageDamage>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated package") << PackageDamage::TruncatedPackage << "beyond the end of the package";
    QTest::newRow("bank offset beyond the file") << PackageDamage::BankBeyondFile << "beyond the end of the package";
    QTest::newRow("bank size beyond the file") << PackageDamage::BankSizeBeyondFile << "beyond the end of the package";
    QTest::newRow("65535 sounds") << PackageDamage::TooManySounds << "claims 65535 sounds";
    QTest::newRow("lookup of the wrong size") << PackageDamage::LookupWrongSize << "not a whole number of 12-byte records";
    QTest::newRow("lookup of 65536 records") << PackageDamage::LookupTooLarge << "more than 65535 records";
    QTest::newRow("descending sound offsets") << PackageDamage::DescendingOffsets << "starts before the sound in front of it";
    QTest::newRow("odd sound offset") << PackageDamage::OddOffset << "odd byte";
    QTest::newRow("sound beyond its bank") << PackageDamage::OffsetBeyondBank << "beyond the bank";
    QTest::newRow("sample rate 0") << PackageDamage::ZeroRate << "sample rate of 0";
    QTest::newRow("first sound not at the start") << PackageDamage::FirstSoundNotAtStart << "does not start at the beginning";
    QTest::newRow("odd bank size") << PackageDamage::OddBankSize << "odd size";
    QTest::newRow("no sounds but data") << PackageDamage::NoSoundsButData << "has no sounds but";
    QTest::newRow("package not in PakFiles.dat") << PackageDamage::NotInPakFiles << "not listed in PakFiles.dat";
    QTest::newRow("PakFiles.dat missing") << PackageDamage::PakFilesMissing << "PakFiles.dat was not found";
    QTest::newRow("name without NUL") << PackageDamage::PakFilesNameWithoutNul << "no terminating NUL";
    QTest::newRow("mobile ZIP") << PackageDamage::MobileZip << "ZIP archive";
    QTest::newRow("missing package") << PackageDamage::MissingPackage << "cannot open";
}

void TestToolkitSfx::RefusesDamagedPackagesWithoutWriting()
{
    QFETCH(PackageDamage, damage);
    QFETCH(QString, message);
    SfxGame game;
    QByteArray package = game.packages[QStringLiteral("GENRL")];
    QByteArray lookup = game.lookupBytes;
    const auto putU32 = [](QByteArray &bytes, int at, quint32 value) { qToLittleEndian(value, bytes.data() + at); };
    const int descriptor2 = 4 + 12; // bank 1, sound 2, in GENRL
    switch (damage) {
    case PackageDamage::TruncatedPackage: package.chop(100); break;
    case PackageDamage::BankBeyondFile: putU32(lookup, 3 * 12 + 4, quint32(package.size() + 10)); break;
    case PackageDamage::BankSizeBeyondFile: putU32(lookup, 3 * 12 + 8, 0xFFFFFFF0u); break;
    case PackageDamage::TooManySounds: package[0] = '\xFF'; package[1] = '\xFF'; break;
    case PackageDamage::LookupWrongSize: lookup.append("12345"); break;
    case PackageDamage::LookupTooLarge: lookup.append(QByteArray(12 * 65536 - lookup.size(), '\x09')); break;
    case PackageDamage::DescendingOffsets: putU32(package, descriptor2 + 12, 2); break;
    case PackageDamage::OddOffset: putU32(package, descriptor2, 2001); break;
    case PackageDamage::OffsetBeyondBank: putU32(package, descriptor2 + 12, 1000000); break;
    case PackageDamage::ZeroRate: package[descriptor2 + 8] = 0; package[descriptor2 + 9] = 0; break;
    case PackageDamage::FirstSoundNotAtStart: putU32(package, 4, 2); break;
    case PackageDamage::OddBankSize: putU32(lookup, 2 * 12 + 8, qFromLittleEndian<quint32>(lookup.constData() + 2 * 12 + 8) + 1); break;
    case PackageDamage::NoSoundsButData: package[4804 + 2 * 2200] = 0; package[0] = 0; break;
    case PackageDamage::NotInPakFiles:
        WriteFile(game.Config(QStringLiteral("PakFiles.dat")), NameTable({QStringLiteral("FEET"), QStringLiteral("SCRIPT")}, 52));
        break;
    case PackageDamage::PakFilesMissing: QFile::remove(game.Config(QStringLiteral("PakFiles.dat"))); break;
    case PackageDamage::PakFilesNameWithoutNul:
        WriteFile(game.Config(QStringLiteral("PakFiles.dat")), NameTable({QStringLiteral("FEET")}, 52) + QByteArray(52, 'A'));
        break;
    case PackageDamage::MobileZip: package.replace(0, 4, QByteArray("PK\x03\x04", 4)); break;
    case PackageDamage::MissingPackage: QFile::remove(game.Package(QStringLiteral("GENRL"))); break;
    }
    if (damage != PackageDamage::MissingPackage)
        WriteFile(game.Package(QStringLiteral("GENRL")), package);
    WriteFile(game.LookupPath(), lookup);
    const auto before = game.GameSnapshot();

    // FEET comes first and is sound: nothing of it may be written either.
    const ToolRun run = game.Export({QStringLiteral("FEET"), QStringLiteral("GENRL")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneLine(run.errorText), qPrintable(run.errorText));
    QVERIFY2(run.errorText.contains(message), qPrintable(run.errorText));
    QVERIFY(FilesBelow(game.Work()).isEmpty());
    QVERIFY(game.GameSnapshot() == before);
}

void TestToolkitSfx::RefusesDamagedImportsWithoutWriting_data()
{
    QTest::addColumn<ImportDamage>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("bank count differs") << ImportDamage::BankCountDiffers << "lists 2 banks, but the bank lookup file has 3";
    QTest::newRow("401 sounds") << ImportDamage::TooManySounds << "num_sounds = 401 is outside 0 to 400";
    QTest::newRow("bank section missing") << ImportDamage::MissingBankSection << "has no section [Bank_002]";
    QTest::newRow("file name missing") << ImportDamage::MissingFileName << "sound_001.filename is missing";
    QTest::newRow("wrong lookup record") << ImportDamage::WrongLookupRecord << "belongs to lookup record 0";
    QTest::newRow("lookup of the wrong size") << ImportDamage::LookupWrongSize << "not a whole number of 12-byte records";
    QTest::newRow("index disagrees with PakFiles.dat") << ImportDamage::IndexDisagrees << "lookup_index 2";
    QTest::newRow("no Archive section") << ImportDamage::NoArchiveSection << "has no [Archive] section";
    QTest::newRow("sound is not audio") << ImportDamage::SoundIsNotAudio << "Bank_003/sound_002.wav is not a sound file";
    QTest::newRow("sound file missing") << ImportDamage::MissingSoundFile << "Bank_003/sound_002.wav: No such file";
    QTest::newRow("number is text") << ImportDamage::NumberIsText << "is not a whole number";
    QTest::newRow("track lookup file given") << ImportDamage::TrackLookupGiven << "is the wrong lookup file";
}

void TestToolkitSfx::RefusesDamagedImportsWithoutWriting()
{
    QFETCH(ImportDamage, damage);
    QFETCH(QString, message);
    SfxGame game;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}).exitCode, 0);
    const QString metafile = game.Metafile(QStringLiteral("GENRL"));
    QString text = QString::fromLatin1(ReadFile(metafile));
    const QString lastSound = WavPath(game.Work(), QStringLiteral("GENRL"), 3, 2);
    switch (damage) {
    case ImportDamage::BankCountDiffers: text.replace(QStringLiteral("num_banks=3"), QStringLiteral("num_banks=2")); break;
    case ImportDamage::TooManySounds: text.replace(QStringLiteral("num_sounds=2"), QStringLiteral("num_sounds=401")); break;
    case ImportDamage::MissingBankSection: text.replace(QStringLiteral("[Bank_002]"), QStringLiteral("[Bank_02]")); break;
    case ImportDamage::MissingFileName:
        text.replace(QStringLiteral("sound_001.filename=Bank_002"), QStringLiteral("sound_001.name=Bank_002"));
        break;
    case ImportDamage::WrongLookupRecord: text.replace(QStringLiteral("lookup_record=3"), QStringLiteral("lookup_record=0")); break;
    case ImportDamage::LookupWrongSize: WriteFile(game.LookupPath(), game.lookupBytes + "xyz"); break;
    case ImportDamage::IndexDisagrees: text.replace(QStringLiteral("lookup_index=1"), QStringLiteral("lookup_index=2")); break;
    case ImportDamage::NoArchiveSection: text.replace(QStringLiteral("[Archive]"), QStringLiteral("[Archiv]")); break;
    case ImportDamage::SoundIsNotAudio: WriteFile(lastSound, "this is a text file, not a sound\n"); break;
    case ImportDamage::MissingSoundFile: QFile::remove(lastSound); break;
    case ImportDamage::NumberIsText:
        text.replace(QStringLiteral("sound_001.unknown_16=-200"), QStringLiteral("sound_001.unknown_16=loud"));
        break;
    case ImportDamage::TrackLookupGiven: QVERIFY(QFile::copy(game.LookupPath(), game.Config(QStringLiteral("TrakLkup.dat")))); break;
    }
    QVERIFY(WriteFile(metafile, text.toLatin1()));
    const auto before = game.GameSnapshot();

    const QString lookup = damage == ImportDamage::TrackLookupGiven ? game.Config(QStringLiteral("TrakLkup.dat")) : game.LookupPath();
    const ToolRun run = Run(sfxTool, {QStringLiteral("-i"), game.Package(QStringLiteral("GENRL")) + QStringLiteral(".new"), metafile, lookup},
                            game.Work() + QStringLiteral("/GENRL"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(IsOneLine(run.errorText), qPrintable(run.errorText));
    QVERIFY2(run.errorText.contains(message), qPrintable(run.errorText));
    // No new package, no backup, no temporary: the game folder is exactly as it was.
    QVERIFY(game.GameSnapshot() == before);
}

void TestToolkitSfx::InterruptedPackLeavesOldFilesUsable_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<bool>("newPackageComplete");
    QTest::newRow("killed while writing the package") << QStringLiteral("archive") << false;
    QTest::newRow("killed before the lookup file is replaced") << QStringLiteral("lookup") << true;
}

void TestToolkitSfx::InterruptedPackLeavesOldFilesUsable()
{
    QFETCH(QString, point);
    QFETCH(bool, newPackageComplete);
    SfxGame game;
    QCOMPARE(game.Export({QStringLiteral("GENRL")}).exitCode, 0);

    const QString newPackage = game.Package(QStringLiteral("GENRL")) + QStringLiteral(".new");
    const QByteArray said = KillAtPause(sfxTool, {QStringLiteral("-i"), newPackage, game.Metafile(QStringLiteral("GENRL")), game.LookupPath()},
                                        game.Work() + QStringLiteral("/GENRL"), point);
    QVERIFY2(said.contains("paused at " + point.toLatin1()), said.constData());

    QCOMPARE(ReadFile(game.LookupPath()), game.lookupBytes);
    QVERIFY(!QFile::exists(game.LookupPath() + QStringLiteral(".bak")));
    QCOMPARE(ReadFile(game.Package(QStringLiteral("GENRL"))), game.packages[QStringLiteral("GENRL")]);
    QCOMPARE(QFile::exists(newPackage), newPackageComplete);
    if (newPackageComplete)
        QCOMPARE(ReadFile(newPackage), game.packages[QStringLiteral("GENRL")]);

    // The leftover temporary does not stand in the way of the next run.
    const ToolRun retry = game.Import(QStringLiteral("GENRL"));
    QVERIFY2(retry.exitCode == 0, qPrintable(retry.errorText));
    QCOMPARE(ReadFile(newPackage), game.packages[QStringLiteral("GENRL")]);
}

void TestToolkitSfx::RefusesWrongCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown mode") << QStringList{QStringLiteral("-x"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("export without archive") << QStringList{QStringLiteral("-e"), QStringLiteral("target"), QStringLiteral("BankLkup.dat")};
    QTest::newRow("import with an extra argument")
        << QStringList{QStringLiteral("-i"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
}

void TestToolkitSfx::RefusesWrongCommandLines()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = Run(sfxTool, arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(IsOneLine(run.errorText));
    QVERIFY(run.errorText.contains(QStringLiteral("usage")));
}

QTEST_GUILESS_MAIN(TestToolkitSfx)
#include "tst_ToolkitSfx.moc"
