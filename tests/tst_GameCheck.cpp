// The check of the game's archives over copies of the demo game folder: each fault planted on its own
// is found in the archive it lies in, a sound game folder (as made, or after a save that grew a sound,
// or while a save runs) gives no finding, and the tools' -c answers with its exit codes and writes nothing.
#include <QProcess>
#include <QTest>

#include "DemoGame.h"
#include "PlantedGame.h"
#include "format/GameCheck.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"

using namespace GameAudioFiles;
using Kind = kivo::CheckFinding::Kind;
Q_DECLARE_METATYPE(Kind)

namespace
{
// Overwrites bytes of a file in place.
bool Patch(const QString &path, qint64 at, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size();
}

bool CutOff(const QString &path, qint64 bytes) { return QFile::resize(path, QFileInfo(path).size() - bytes); }

// The lookup record of an archive's bank or track (counted from 1), as the game's tables place it;
// its number in the lookup file goes to pIndex.
kivo::LookupRecord Locate(const QString &audio, bool bSfx, const QString &archive, int number, qint64 *pIndex = nullptr)
{
    const QString config = audio + "/CONFIG/";
    const kivo::NameTable names = kivo::NameTable::Load((config + (bSfx ? "PakFiles.dat" : "StrmPaks.dat")).toStdString(),
                                                        bSfx ? kivo::NameTable::PackageRecordSize : kivo::NameTable::StreamRecordSize);
    const kivo::LookupFile lookup = kivo::LookupFile::Load((config + (bSfx ? "BankLkup.dat" : "TrakLkup.dat")).toStdString());
    const std::size_t record = lookup.RecordsOf(unsigned(names.Find(archive.toStdString()))).at(std::size_t(number - 1));
    if (pIndex)
        *pIndex = qint64(record);
    return lookup.Record(record);
}

bool SetRecord(const QString &audio, bool bSfx, const QString &archive, int number, quint32 offset, quint32 size)
{
    qint64 index = -1;
    Locate(audio, bSfx, archive, number, &index);
    QByteArray fields(8, '\0');
    PutU32(fields, 0, offset);
    PutU32(fields, 4, size);
    return Patch(audio + (bSfx ? "/CONFIG/BankLkup.dat" : "/CONFIG/TrakLkup.dat"), index * 12 + 4, fields);
}

// Overwrites bytes from a bank's or track's start (counted from 1) in its archive.
bool PatchAt(const QString &audio, bool bSfx, const QString &archive, int number, qint64 from, const QByteArray &bytes)
{
    return Patch(audio + (bSfx ? "/SFX/" : "/streams/") + archive, Locate(audio, bSfx, archive, number).offset + from, bytes);
}

// The findings of both sides: every package and every pack with its lookup file.
std::vector<kivo::CheckFinding> Check(const QString &audio)
{
    std::vector<kivo::CheckFinding> findings;
    for (const bool bSfx : {true, false}) {
        const QString folder = audio + (bSfx ? "/SFX" : "/streams");
        std::vector<std::filesystem::path> archives;
        for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
            if (!name.contains('.'))
                archives.push_back((folder + "/" + name).toStdString());
        const auto side = kivo::GameCheck::Run(bSfx ? kivo::GameCheck::Side::Sfx : kivo::GameCheck::Side::Streams, archives,
                                               (audio + (bSfx ? "/CONFIG/BankLkup.dat" : "/CONFIG/TrakLkup.dat")).toStdString());
        findings.insert(findings.end(), side.begin(), side.end());
    }
    return findings;
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
    void initTestCase() { QVERIFY(demo.IsReady()); }

    void FindsEachPlantedFaultInItsArchiveAndNothingElse_data()
    {
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("file");  // the file the finding is about; empty: no finding at all
        QTest::addColumn<QString>("where"); // how it begins, empty for the whole file
        QTest::addColumn<bool>("locked");   // while a save holds both lookup files' locks
        const auto row = [](const char *name, Kind kind, const QString &file, const QString &where, const Plant &plant, bool bLocked = false) {
            QTest::newRow(name) << plant << kind << file << where << bLocked;
        };
        const Kind none = Kind::CouldNotCheck; // with no file: no finding of any kind
        row("as made", none, "", "", [](const QString &) { return true; });
        row("after a save that grew a sound", none, "", "", [](const QString &a) { return PlantedGame::SavedWithKeptOriginals(a); });
        // What the record's size field means varies between records: it never places a track.
        row("track records with sizes of another meaning", none, "", "", [](const QString &a) {
            const kivo::LookupRecord last = Locate(a, false, "CH", 3); // judged by this size, it would pass the pack's end
            return SetRecord(a, false, "CH", 3, last.offset, last.size + 8068);
        });
        // Its journal, new archive and temporaries are the save's work, not damage.
        row("while a save holds the lock", none, "", "", [](const QString &a) {
            return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "not yet written\n") && QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.old")
                && WriteFile(a + "/CONFIG/TrakLkup.dat.journal", "not yet written\n");
        }, true);

        row("bank record outside its package", Kind::RecordOutside, "GENRL", "bank 2 (", [](const QString &a) {
            return SetRecord(a, true, "GENRL", 2, 0x7FFFFF00u, Locate(a, true, "GENRL", 2).size);
        });
        row("package cut short", Kind::ArchiveShort, "GENRL", "", [](const QString &a) { return CutOff(a + "/SFX/GENRL", 1000); });
        row("banks overlap", Kind::BanksOverlap, "GENRL", "bank 1 (", [](const QString &a) {
            return SetRecord(a, true, "GENRL", 1, Locate(a, true, "GENRL", 1).offset, Locate(a, true, "GENRL", 1).size + 2);
        });
        row("bank header with too many sounds", Kind::HeaderRefused, "GENRL", "bank 2 (",
            [](const QString &a) { return PatchAt(a, true, "GENRL", 2, 0, QByteArray("\x91\x01", 2)); });
        row("bank without sounds", Kind::Empty, "GENRL", "bank 2 (", [](const QString &a) {
            const quint32 offset = Locate(a, true, "GENRL", 2).offset;
            return PatchAt(a, true, "GENRL", 2, 0, QByteArray(2, '\0')) && SetRecord(a, true, "GENRL", 2, offset, 0);
        });
        row("empty package", Kind::Empty, "SPC_EA", "", [](const QString &a) { return QFile::resize(a + "/SFX/SPC_EA", 0); });
        row("zero-filled bank", Kind::ZeroFilled, "GENRL", "bank 2 (",
            [](const QString &a) { return PatchAt(a, true, "GENRL", 2, 0, QByteArray(4804, '\0')); });
        row("zero-filled package", Kind::ZeroFilled, "FEET", "", [](const QString &a) {
            return Patch(a + "/SFX/FEET", 0, QByteArray(int(QFileInfo(a + "/SFX/FEET").size()), '\0'));
        });
        row("BankSlot.dat missing", Kind::SlotsMissing, "BankSlot.dat", "",
            [](const QString &a) { return QFile::remove(a + "/CONFIG/BankSlot.dat"); });
        row("BankSlot.dat a byte too long", Kind::SlotsDamaged, "BankSlot.dat", "",
            [](const QString &a) { return Patch(a + "/CONFIG/BankSlot.dat", QFileInfo(a + "/CONFIG/BankSlot.dat").size(), "x"); });
        row("BankSlot.dat with no slots", Kind::SlotsDamaged, "BankSlot.dat", "",
            [](const QString &a) { return Patch(a + "/CONFIG/BankSlot.dat", 0, QByteArray(2, '\0')); });
        row("bank larger than every slot", Kind::LargerThanSlots, "GENRL", "bank 3 (", [](const QString &a) {
            QByteArray table(2 + 4820, '\0');
            table[0] = 1;
            PutU32(table, 2 + 4, Locate(a, true, "GENRL", 3).size - 2);
            return WriteFile(a + "/CONFIG/BankSlot.dat", table);
        });
        row("sound grown past its slot by a tool that kept BankSlot.dat", Kind::GrownPastSlot, "GENRL", "bank 1 (", PlantedGame::SlotsNotGrown);
        row("journal the repair refuses", Kind::Journal, "BankLkup.dat.journal", "",
            [](const QString &a) { return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "not a journal\n"); });
        row("interrupted save", Kind::Journal, "BankLkup.dat.journal", "", [](const QString &a) {
            kivo::SaveJournal::Begin((a + "/SFX/GENRL").toStdString(), (a + "/CONFIG/BankLkup.dat").toStdString());
            return true;
        });
        row("package packed by hand", Kind::PackedByHand, "GENRL.new", "",
            [](const QString &a) { return QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.new"); });
        row("new package the records do not describe", Kind::Leftover, "GENRL.new", "",
            [](const QString &a) { return WriteFile(a + "/SFX/GENRL.new", "half"); });
        row("old package's temporary name", Kind::Leftover, "GENRL.old", "",
            [](const QString &a) { return QFile::copy(a + "/SFX/GENRL", a + "/SFX/GENRL.old"); });
        row("temporary of a run that is gone", Kind::Leftover, "BankLkup.dat.kivo-2147480000.tmp", "",
            [](const QString &a) { return WriteFile(a + "/CONFIG/BankLkup.dat.kivo-2147480000.tmp", "half"); });

        row("track record outside its pack", Kind::RecordOutside, "CH", "track 2 (", [](const QString &a) {
            return SetRecord(a, false, "CH", 2, 0x7FFFFF00u, Locate(a, false, "CH", 2).size);
        });
        row("pack cut short", Kind::ArchiveShort, "CH", "", [](const QString &a) { return CutOff(a + "/streams/CH", 100); });
        row("track header damaged", Kind::HeaderRefused, "CH", "track 2 (",
            [](const QString &a) { return PatchAt(a, false, "CH", 2, 8064, QByteArray(1, '\x55')); });
        row("Vorbis headers damaged", Kind::VorbisHeaders, "CH", "track 1 (",
            [](const QString &a) { return PatchAt(a, false, "CH", 1, 8068 + 40, QByteArray(20, '\0')); });
        row("empty pack", Kind::Empty, "RE", "", [](const QString &a) { return QFile::resize(a + "/streams/RE", 0); });
        row("zero-filled track header", Kind::ZeroFilled, "CH", "track 2 (",
            [](const QString &a) { return PatchAt(a, false, "CH", 2, 0, QByteArray(8068, '\0')); });
    }

    void FindsEachPlantedFaultInItsArchiveAndNothingElse()
    {
        QFETCH(Plant, plant);
        QFETCH(Kind, kind);
        QFETCH(QString, file);
        QFETCH(QString, where);
        QFETCH(bool, locked);
        QTemporaryDir dir;
        const QString audio = Planted(dir, plant);
        QVERIFY(!audio.isEmpty());
        std::unique_ptr<kivo::SaveLock> sfxLock, streamLock;
        if (locked) {
            sfxLock = kivo::SaveLock::Take((audio + "/CONFIG/BankLkup.dat").toStdString(), 0);
            streamLock = kivo::SaveLock::Take((audio + "/CONFIG/TrakLkup.dat").toStdString(), 0);
        }

        const std::vector<kivo::CheckFinding> findings = Check(audio);
        const bool bFound = std::any_of(findings.begin(), findings.end(), [&](const kivo::CheckFinding &finding) {
            return finding.kind == kind && QString::fromStdString(finding.archive.filename().string()) == file
                && (where.isEmpty() ? finding.where.empty() : QString::fromStdString(finding.where).startsWith(where));
        });
        QVERIFY2(file.isEmpty() ? findings.empty() : bFound, qPrintable(Lines(findings)));
        // Only the planted fault's own archive, and the file beside it, are named.
        for (const kivo::CheckFinding &finding : findings)
            QVERIFY2(QString::fromStdString(finding.archive.filename().string()).startsWith(file.left(file.indexOf('.'))),
                     qPrintable(Lines(findings)));
    }

    void ToolAnswersWithExitCodeAndWritesNothing_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments"); // relative to the audio folder
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // how standard output begins

        const auto row = [](const char *name, const QString &tool, const QString &arguments, int exitCode, const QString &output = QString(),
                            const Plant &plant = [](const QString &) { return true; }) {
            QTest::newRow(name) << tool << arguments.split(' ') << plant << exitCode << output;
        };
        row("sound streams, names in another case", KIVO_STREAM_PATH, "-c streams/ch streams/re config/traklkup.dat", 0);
        // The check repairs nothing: the journal and the new archive stay as they are.
        row("interrupted save and a packing by hand", KIVO_SFX_PATH, "-c SFX/FEET SFX/GENRL SFX/SPC_EA CONFIG/BankLkup.dat", 1,
            "BankLkup.dat.journal: the repair refuses it", [](const QString &a) {
                return WriteFile(a + "/CONFIG/BankLkup.dat.journal", "damaged\n") && QFile::copy(a + "/SFX/FEET", a + "/SFX/FEET.new");
            });
        row("missing package", KIVO_SFX_PATH, "-c SFX/NONE CONFIG/BankLkup.dat", 2);
        row("missing lookup file", KIVO_STREAM_PATH, "-c streams/CH CONFIG/None.dat", 2);
        row("lookup file of the other kind", KIVO_STREAM_PATH, "-c streams/CH CONFIG/BankLkup.dat", 2);
        row("no archive", KIVO_SFX_PATH, "-c CONFIG/BankLkup.dat", 2);
    }

    void ToolAnswersWithExitCodeAndWritesNothing()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(Plant, plant);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir dir;
        const QString audio = Planted(dir, plant);
        QVERIFY(!audio.isEmpty());
        for (QString &argument : arguments)
            if (argument != "-c")
                argument = audio + "/" + argument;
        const QMap<QString, QByteArray> before = Snapshot(dir.path());

        QProcess process;
        process.start(tool, arguments);
        QVERIFY(process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit);
        const QString printed = QString::fromLocal8Bit(process.readAllStandardOutput());
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.startsWith(output), qPrintable(printed));
        QVERIFY(Snapshot(dir.path()) == before);
    }

private:
    // A fresh copy of the demo game with plant applied; returns its audio folder, empty when either failed.
    QString Planted(const QTemporaryDir &dir, const Plant &plant) const
    {
        return PlantedGame::Copy(demo.Game(), dir.path() + "/game", plant) ? dir.path() + "/game/audio" : QString();
    }

    DemoGame demo;
};

QTEST_MAIN(TestGameCheck)
#include "tst_GameCheck.moc"
