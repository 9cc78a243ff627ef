// The check of the game's archives over copies of the demo game folder: each fault planted on its own
// is found in the archive it lies in, a sound game folder (as made, or after a save that grew a sound,
// or while a save runs) gives no finding, and the tools' -c answers with its exit codes and writes nothing.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTest>
#include <QtEndian>

#include <functional>

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "app/archive/KeptOriginals.h"
#include "format/GameCheck.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"

using namespace GameAudioFiles;
using Kind = kivo::CheckFinding::Kind;
// Changes the copy of the game's audio folder given; false when it could not.
using Plant = std::function<bool(const QString &audio)>;
Q_DECLARE_METATYPE(Plant)
Q_DECLARE_METATYPE(Kind)

namespace
{
bool CopyFolder(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(file);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

// Overwrites bytes of a file in place.
bool Patch(const QString &path, qint64 at, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size();
}

bool Truncate(const QString &path, qint64 size) { return QFile::resize(path, size); }

QByteArray U32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// The lookup record of an archive's bank or track (counted from 1), as the game's tables place it.
struct Located
{
    qint64 record = -1;
    kivo::LookupRecord where;
};
Located Locate(const QString &audio, bool bSfx, const QString &archive, int number)
{
    const QString config = audio + "/CONFIG/";
    const kivo::NameTable names = kivo::NameTable::Load((config + (bSfx ? "PakFiles.dat" : "StrmPaks.dat")).toStdString(),
                                                        bSfx ? kivo::NameTable::PackageRecordSize : kivo::NameTable::StreamRecordSize);
    const kivo::LookupFile lookup = kivo::LookupFile::Load((config + (bSfx ? "BankLkup.dat" : "TrakLkup.dat")).toStdString());
    const auto records = lookup.RecordsOf(unsigned(names.Find(archive.toStdString())));
    const std::size_t record = records.at(std::size_t(number - 1));
    return {qint64(record), lookup.Record(record)};
}

bool SetRecord(const QString &audio, bool bSfx, const QString &archive, int number, quint32 offset, quint32 size)
{
    const Located located = Locate(audio, bSfx, archive, number);
    return Patch(audio + (bSfx ? "/CONFIG/BankLkup.dat" : "/CONFIG/TrakLkup.dat"), located.record * 12 + 4, U32(offset) + U32(size));
}

bool SetAllSlotSizes(const QString &audio, quint32 size)
{
    const QString path = audio + "/CONFIG/BankSlot.dat";
    const QByteArray table = ReadFile(path);
    bool bDone = table.size() > 2;
    for (qint64 at = 2; at + 4820 <= table.size(); at += 4820)
        bDone = bDone && Patch(path, at + 4, U32(size));
    return bDone;
}

QByteArray RunTool(const QString &tool, const QStringList &arguments, int &exitCode)
{
    QProcess process;
    process.start(tool, arguments);
    exitCode = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// What the program's first save keeps, then a save in place by the tool that makes the first sound
// of GENRL's first bank twice as long, growing BankSlot.dat with it.
bool GrowASound(const QString &audio)
{
    const QString archive = audio + "/SFX/GENRL", lookup = audio + "/CONFIG/BankLkup.dat";
    const KeptOriginals originals(IniMetafileModel::SFX, archive, lookup);
    try {
        originals.Keep();
        originals.KeepArchiveBeforeSwap();
    } catch (const QString &) {
        return false;
    }
    const QString work = audio + "/../work";
    int code = -1;
    RunTool(KIVO_SFX_PATH, {"-e", archive, work, lookup}, code);
    const Wav sound = ReadWav(work + "/GENRL/Bank_001/sound_001.wav");
    if (code != 0 || !sound.ok)
        return false;
    const QVector<qint16> longer = sound.samples + sound.samples;
    if (!WriteSoundFile(work + "/GENRL/Bank_001/sound_001.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, sound.rate, longer))
        return false;
    RunTool(KIVO_SFX_PATH, {"-i", archive, work + "/GENRL/sfx_import.ini", lookup}, code);
    return code == 0 && QDir(work).removeRecursively();
}

QStringList Archives(const QString &audio, bool bSfx)
{
    const QString folder = audio + (bSfx ? "/SFX" : "/streams");
    QStringList paths;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
        if (!name.contains('.'))
            paths << folder + "/" + name;
    return paths;
}

std::vector<kivo::CheckFinding> Check(const QString &audio, bool bSfx)
{
    std::vector<std::filesystem::path> archives;
    for (const QString &path : Archives(audio, bSfx))
        archives.push_back(path.toStdString());
    return kivo::GameCheck::Run(bSfx ? kivo::GameCheck::Side::Sfx : kivo::GameCheck::Side::Streams, archives,
                                (audio + (bSfx ? "/CONFIG/BankLkup.dat" : "/CONFIG/TrakLkup.dat")).toStdString());
}

QString Lines(const std::vector<kivo::CheckFinding> &findings)
{
    QString lines;
    for (const kivo::CheckFinding &finding : findings)
        lines += QString::fromStdString(finding.Line()) + "\n";
    return lines;
}
}

class TestGameCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void FindsEachPlantedFaultInItsArchive_data();
    void FindsEachPlantedFaultInItsArchive();
    void FindsNothingInASoundGameFolder_data();
    void FindsNothingInASoundGameFolder();
    void ToolAnswersWithExitCodeAndWritesNothing_data();
    void ToolAnswersWithExitCodeAndWritesNothing();

private:
    // A fresh copy of the demo game; returns its audio folder.
    QString FreshGame(QTemporaryDir &dir) const
    {
        return CopyFolder(demo.path() + "/game", dir.path() + "/game") ? dir.path() + "/game/audio" : QString();
    }

    QTemporaryDir demo;
};

void TestGameCheck::initTestCase()
{
    QVERIFY(demo.isValid());
    const ToolRun generated = Run(DEMO_GENERATOR_PATH, {demo.path() + "/game", demo.path() + "/program", KIVO_SFX_PATH, KIVO_STREAM_PATH});
    QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
}

void TestGameCheck::FindsEachPlantedFaultInItsArchive_data()
{
    QTest::addColumn<bool>("sfx");
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("file");  // the file the finding is about
    QTest::addColumn<QString>("where"); // how it begins, empty for the whole file

    const auto bank = [](int number, const QString &suffix = QString()) {
        return QStringLiteral("bank %1 (lookup record ").arg(number) + suffix;
    };
    QTest::newRow("bank record outside its package") << true << Plant([](const QString &a) {
        return SetRecord(a, true, "GENRL", 2, 0x7FFFFF00u, Locate(a, true, "GENRL", 2).where.size);
    }) << Kind::RecordOutside << "GENRL" << bank(2);
    QTest::newRow("package cut short") << true << Plant([](const QString &a) {
        return Truncate(a + "/SFX/GENRL", QFileInfo(a + "/SFX/GENRL").size() - 1000);
    }) << Kind::ArchiveShort << "GENRL" << "";
    QTest::newRow("banks overlap") << true << Plant([](const QString &a) {
        const Located first = Locate(a, true, "GENRL", 1);
        return SetRecord(a, true, "GENRL", 1, first.where.offset, first.where.size + 2);
    }) << Kind::BanksOverlap << "GENRL" << bank(1);
    QTest::newRow("bank header with too many sounds") << true << Plant([](const QString &a) {
        return Patch(a + "/SFX/GENRL", Locate(a, true, "GENRL", 2).where.offset, QByteArray("\x91\x01", 2));
    }) << Kind::HeaderRefused << "GENRL" << bank(2);
    QTest::newRow("bank without sounds") << true << Plant([](const QString &a) {
        const Located second = Locate(a, true, "GENRL", 2);
        return Patch(a + "/SFX/GENRL", second.where.offset, QByteArray(2, '\0'))
            && SetRecord(a, true, "GENRL", 2, second.where.offset, 0);
    }) << Kind::Empty << "GENRL" << bank(2);
    QTest::newRow("empty package") << true << Plant([](const QString &a) { return Truncate(a + "/SFX/SPC_EA", 0); })
                                   << Kind::Empty << "SPC_EA" << "";
    QTest::newRow("zero-filled bank") << true << Plant([](const QString &a) {
        const Located second = Locate(a, true, "GENRL", 2);
        return Patch(a + "/SFX/GENRL", second.where.offset, QByteArray(int(4804 + second.where.size), '\0'));
    }) << Kind::ZeroFilled << "GENRL" << bank(2);
    QTest::newRow("zero-filled package") << true << Plant([](const QString &a) {
        return Patch(a + "/SFX/FEET", 0, QByteArray(int(QFileInfo(a + "/SFX/FEET").size()), '\0'));
    }) << Kind::ZeroFilled << "FEET" << "";
    QTest::newRow("BankSlot.dat missing") << true << Plant([](const QString &a) { return QFile::remove(a + "/CONFIG/BankSlot.dat"); })
                                          << Kind::SlotsMissing << "BankSlot.dat" << "";
    QTest::newRow("BankSlot.dat of a wrong size") << true << Plant([](const QString &a) {
        return Truncate(a + "/CONFIG/BankSlot.dat", QFileInfo(a + "/CONFIG/BankSlot.dat").size() - 1);
    }) << Kind::SlotsDamaged << "BankSlot.dat" << "";
    QTest::newRow("BankSlot.dat with no slots") << true << Plant([](const QString &a) {
        return Patch(a + "/CONFIG/BankSlot.dat", 0, QByteArray(2, '\0'));
    }) << Kind::SlotsDamaged << "BankSlot.dat" << "";
    QTest::newRow("bank larger than every slot") << true << Plant([](const QString &a) {
        return SetAllSlotSizes(a, Locate(a, true, "GENRL", 3).where.size - 2);
    }) << Kind::LargerThanSlots << "GENRL" << bank(3);
    QTest::newRow("sound grown past its slot by a tool that kept BankSlot.dat") << true << Plant([](const QString &a) {
        return GrowASound(a) && QFile::remove(a + "/CONFIG/BankSlot.dat")
            && QFile::copy(a + "/RozivOze originals/CONFIG/BankSlot.dat", a + "/CONFIG/BankSlot.dat");
    }) << Kind::GrownPastSlot << "GENRL" << bank(1);
    QTest::newRow("journal the repair refuses") << true << Plant([](const QString &a) {
        return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "not a journal\n");
    }) << Kind::Journal << "BankLkup.dat.journal" << "";
    QTest::newRow("interrupted save") << true << Plant([](const QString &a) {
        kivo::SaveJournal::Begin((a + "/SFX/GENRL").toStdString(), (a + "/CONFIG/BankLkup.dat").toStdString());
        return true;
    }) << Kind::Journal << "BankLkup.dat.journal" << "";
    QTest::newRow("package packed by hand") << true << Plant([](const QString &a) {
        return QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.new");
    }) << Kind::PackedByHand << "GENRL.new" << "";
    QTest::newRow("new package the records do not describe") << true << Plant([](const QString &a) {
        return WriteFile(a + "/SFX/GENRL.new", "half");
    }) << Kind::Leftover << "GENRL.new" << "";
    QTest::newRow("old package's temporary name") << true << Plant([](const QString &a) {
        return QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.old");
    }) << Kind::Leftover << "GENRL.old" << "";
    QTest::newRow("temporary of a run that is gone") << true << Plant([](const QString &a) {
        return WriteFile(a + "/CONFIG/BankLkup.dat.kivo-2147480000.tmp", "half");
    }) << Kind::Leftover << "BankLkup.dat.kivo-2147480000.tmp" << "";

    const auto track = [](int number) { return QStringLiteral("track %1 (lookup record ").arg(number); };
    QTest::newRow("track record outside its pack") << false << Plant([](const QString &a) {
        return SetRecord(a, false, "CH", 2, 0x7FFFFF00u, Locate(a, false, "CH", 2).where.size);
    }) << Kind::RecordOutside << "CH" << track(2);
    QTest::newRow("pack cut short") << false << Plant([](const QString &a) {
        return Truncate(a + "/streams/CH", QFileInfo(a + "/streams/CH").size() - 100);
    }) << Kind::ArchiveShort << "CH" << "";
    QTest::newRow("track header damaged") << false << Plant([](const QString &a) {
        return Patch(a + "/streams/CH", Locate(a, false, "CH", 2).where.offset + 8064, QByteArray(1, '\x55'));
    }) << Kind::HeaderRefused << "CH" << track(2);
    QTest::newRow("Vorbis headers damaged") << false << Plant([](const QString &a) {
        return Patch(a + "/streams/CH", Locate(a, false, "CH", 1).where.offset + 8068 + 40, QByteArray(20, '\0'));
    }) << Kind::VorbisHeaders << "CH" << track(1);
    QTest::newRow("empty pack") << false << Plant([](const QString &a) { return Truncate(a + "/streams/RE", 0); })
                                << Kind::Empty << "RE" << "";
    QTest::newRow("zero-filled track header") << false << Plant([](const QString &a) {
        return Patch(a + "/streams/CH", Locate(a, false, "CH", 2).where.offset, QByteArray(8068, '\0'));
    }) << Kind::ZeroFilled << "CH" << track(2);
}

void TestGameCheck::FindsEachPlantedFaultInItsArchive()
{
    QFETCH(bool, sfx);
    QFETCH(Plant, plant);
    QFETCH(Kind, kind);
    QFETCH(QString, file);
    QFETCH(QString, where);
    QTemporaryDir dir;
    const QString audio = FreshGame(dir);
    QVERIFY(!audio.isEmpty());
    QVERIFY(plant(audio));

    const std::vector<kivo::CheckFinding> findings = Check(audio, sfx);
    const bool bFound = std::any_of(findings.begin(), findings.end(), [&](const kivo::CheckFinding &finding) {
        return finding.kind == kind && QString::fromStdString(finding.archive.filename().string()) == file
            && (where.isEmpty() ? finding.where.empty() : QString::fromStdString(finding.where).startsWith(where));
    });
    QVERIFY2(bFound, qPrintable(Lines(findings)));
    // Only the planted fault's own archive, and the file beside it, are named.
    for (const kivo::CheckFinding &finding : findings)
        QVERIFY2(QString::fromStdString(finding.archive.filename().string()).startsWith(file.left(file.indexOf('.'))),
                 qPrintable(Lines(findings)));
}

void TestGameCheck::FindsNothingInASoundGameFolder_data()
{
    QTest::addColumn<Plant>("change");
    QTest::newRow("as made") << Plant([](const QString &) { return true; });
    QTest::newRow("after a save that grew a sound") << Plant(GrowASound);
    // What the record's size field means varies between records: it never places a track.
    QTest::newRow("track records with sizes of another meaning") << Plant([](const QString &a) {
        bool bDone = true;
        for (int track = 1; track <= 3; ++track) {
            const Located located = Locate(a, false, "CH", track);
            bDone = bDone && SetRecord(a, false, "CH", track, located.where.offset, located.where.size + 8068);
        }
        return bDone;
    });
    // Its journal, new archive and temporaries are the save's work, not damage.
    QTest::newRow("while a save holds the lock") << Plant([](const QString &a) {
        return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "not yet written\n") && QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.old")
            && WriteFile(a + "/CONFIG/TrakLkup.dat.journal", "not yet written\n");
    });
}

void TestGameCheck::FindsNothingInASoundGameFolder()
{
    QFETCH(Plant, change);
    QTemporaryDir dir;
    const QString audio = FreshGame(dir);
    QVERIFY(!audio.isEmpty());
    QVERIFY(change(audio));
    std::unique_ptr<kivo::SaveLock> sfxLock, streamLock;
    if (QString(QTest::currentDataTag()).startsWith("while")) {
        sfxLock = kivo::SaveLock::Take((audio + "/CONFIG/BankLkup.dat").toStdString(), 0);
        streamLock = kivo::SaveLock::Take((audio + "/CONFIG/TrakLkup.dat").toStdString(), 0);
    }
    for (const bool bSfx : {true, false}) {
        const std::vector<kivo::CheckFinding> findings = Check(audio, bSfx);
        QVERIFY2(findings.empty(), qPrintable(Lines(findings)));
    }
}

void TestGameCheck::ToolAnswersWithExitCodeAndWritesNothing_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments"); // relative to the audio folder
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // how standard output begins

    const Plant nothing = [](const QString &) { return true; };
    const QStringList allSfx{"-c", "SFX/FEET", "SFX/GENRL", "SFX/SPC_EA", "CONFIG/BankLkup.dat"};
    QTest::newRow("sound SFX") << KIVO_SFX_PATH << allSfx << nothing << 0 << "";
    QTest::newRow("sound streams") << KIVO_STREAM_PATH << QStringList{"-c", "streams/CH", "streams/RE", "CONFIG/TrakLkup.dat"}
                                   << nothing << 0 << "";
    QTest::newRow("names in another case") << KIVO_SFX_PATH << QStringList{"-c", "sfx/genrl", "config/banklkup.dat"} << nothing << 0 << "";
    QTest::newRow("cut-off package") << KIVO_SFX_PATH << allSfx << Plant([](const QString &a) { return Truncate(a + "/SFX/FEET", 100); })
                                     << 1 << "FEET: is 100 bytes";
    // The check repairs nothing: the journal and the new archive stay as they are.
    QTest::newRow("interrupted save and a packing by hand") << KIVO_SFX_PATH << allSfx << Plant([](const QString &a) {
        return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "damaged\n") && QFile::copy(a + "/SFX/FEET", a + "/SFX/FEET.new");
    }) << 1 << "BankLkup.dat.journal: the repair refuses it";
    QTest::newRow("damaged track") << KIVO_STREAM_PATH << QStringList{"-c", "streams/RE", "CONFIG/TrakLkup.dat"} << Plant([](const QString &a) {
        return Patch(a + "/streams/RE", 8064, QByteArray(1, '\x55'));
    }) << 1 << "RE, track 1 (lookup record";
    QTest::newRow("missing package") << KIVO_SFX_PATH << QStringList{"-c", "SFX/NONE", "CONFIG/BankLkup.dat"} << nothing << 2 << "";
    QTest::newRow("missing lookup file") << KIVO_STREAM_PATH << QStringList{"-c", "streams/CH", "CONFIG/None.dat"} << nothing << 2 << "";
    QTest::newRow("lookup file of the other kind") << KIVO_STREAM_PATH << QStringList{"-c", "streams/CH", "CONFIG/BankLkup.dat"} << nothing << 2 << "";
    QTest::newRow("no archive") << KIVO_SFX_PATH << QStringList{"-c", "CONFIG/BankLkup.dat"} << nothing << 2 << "";
}

void TestGameCheck::ToolAnswersWithExitCodeAndWritesNothing()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(Plant, plant);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const QString audio = FreshGame(dir);
    QVERIFY(!audio.isEmpty());
    QVERIFY(plant(audio));
    for (QString &argument : arguments)
        if (argument != "-c")
            argument = audio + "/" + argument;
    const QMap<QString, QByteArray> before = Snapshot(dir.path());

    int code = -1;
    const QString printed = QString::fromLocal8Bit(RunTool(tool, arguments, code));
    QCOMPARE(code, exitCode);
    QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.startsWith(output), qPrintable(printed));
    QVERIFY(Snapshot(dir.path()) == before);
}

QTEST_MAIN(TestGameCheck)
#include "tst_GameCheck.moc"
