// The program's check of the game's audio over copies of the demo game: each repair leaves a game
// that the check finds clean and that unpacks, an aborted check writes nothing, and the report
// window shows a planted problem in its archive's row.
#include <QDir>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include <functional>

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "app/archive/GameAudioCheck.h"
#include "app/archive/OperationFeedback.h"
#include "format/SaveJournal.h"
#include "tree/TreeModel.h"

using namespace GameAudioFiles;
using Repair = GameAudioCheck::Repair;
using Plant = std::function<bool(const QString &audio)>;
Q_DECLARE_METATYPE(Plant)
Q_DECLARE_METATYPE(GameAudioCheck::Repair)
Q_DECLARE_METATYPE(std::function<QVector<qint16>(const QVector<qint16> &)>)

namespace
{
// Answers as a user who lets every step go on until stopAt, and keeps what it was told.
struct RecordingFeedback : OperationFeedback
{
    AudioConverter::Result Convert(const QString &, const QString &, const AudioForm &) override { return {}; }
    void Inform(const QString &title, const QString &text) override { told << title + ": " + text; }
    void Fail(const QString &text) override { told << "Error: " + text; }
    bool Step(int done, int, const QString &) override { return done < stopAt; }
    int stopAt = 1000;
    QStringList told;
};

// What a bad copy leaves: zeros over GENRL's first bank header.
bool ZeroFirstBank(const QString &audio)
{
    return Run("dd", {"if=/dev/zero", "of=" + audio + "/SFX/GENRL", "bs=4804", "count=1", "conv=notrunc"}).exitCode == 0;
}

using Samples = QVector<qint16>;
using SoundChange = std::function<Samples(const Samples &)>;
const SoundChange twiceAsLong = [](const Samples &samples) { return samples + samples; };

// Unpacks GENRL, changes its first sound and packs it with the tool into `output` (relative to
// the audio folder), which rewrites the lookup file for it.
bool PackChangedSound(const QString &audio, const QString &output, const SoundChange &change = twiceAsLong)
{
    const QString archive = audio + "/SFX/GENRL", lookup = audio + "/CONFIG/BankLkup.dat", work = audio + "/../work";
    const QString wav = work + "/GENRL/Bank_001/sound_001.wav";
    const Wav sound = Run(KIVO_SFX_PATH, {"-e", archive, work, lookup}).exitCode == 0 ? ReadWav(wav) : Wav();
    return sound.ok && WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, sound.rate, change(sound.samples))
        && Run(KIVO_SFX_PATH, {"-i", audio + "/" + output, work + "/GENRL/sfx_import.ini", lookup}).exitCode == 0
        && QDir(work).removeRecursively();
}

// What the program's first save keeps, then a save by the tool that changes a sound.
bool SavedWithKeptOriginals(const QString &audio, const SoundChange &change = twiceAsLong)
{
    const KeptOriginals originals(IniMetafileModel::SFX, audio + "/SFX/GENRL", audio + "/CONFIG/BankLkup.dat");
    try {
        originals.Keep();
        originals.KeepArchiveBeforeSwap();
    } catch (const QString &) {
        return false;
    }
    return PackChangedSound(audio, "SFX/GENRL", change);
}

// A grown sound saved, with BankSlot.dat left as kept: what a tool that does not grow the slots leaves.
bool SlotsNotGrown(const QString &audio)
{
    return SavedWithKeptOriginals(audio) && QFile::remove(audio + "/CONFIG/BankSlot.dat")
        && QFile::copy(audio + "/RozivOze originals/CONFIG/BankSlot.dat", audio + "/CONFIG/BankSlot.dat");
}
}

class TestGameAudioCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(demo.isValid());
        const ToolRun generated = Run(DEMO_GENERATOR_PATH, {Demo() + "/game", QCoreApplication::applicationDirPath(), KIVO_SFX_PATH, KIVO_STREAM_PATH});
        QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
        // The program runs the tools from its current directory.
        for (const auto &[name, path] : {std::pair{"kivo_sfx.exe", KIVO_SFX_PATH}, std::pair{"kivo_stream.exe", KIVO_STREAM_PATH}})
            QVERIFY(QFile::link(path, Demo() + "/" + name));
        QVERIFY(QDir::setCurrent(Demo()));
    }

    void EachRepairLeavesACleanGameThatUnpacks_data()
    {
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<Repair>("repair");
        QTest::addColumn<QString>("state"); // of GENRL after the repair
        const Plant slotsNotGrown = SlotsNotGrown;
        QTest::newRow("slots a tool did not grow") << slotsNotGrown << Repair::GrowSlots << "Changed";
        QTest::newRow("packed by hand") << Plant([](const QString &a) { return PackChangedSound(a, "SFX/GENRL.new"); })
                                        << Repair::PutInPlace << "OK";
        // Putting the original back undoes the growth the slots missed, and needs nothing of a damaged copy.
        QTest::newRow("restored instead") << slotsNotGrown << Repair::RestoreOriginal << "OK";
        QTest::newRow("restored over a damaged copy") << Plant([](const QString &a) { return SavedWithKeptOriginals(a) && ZeroFirstBank(a); })
                                                      << Repair::RestoreOriginal << "OK";
    }

    void EachRepairLeavesACleanGameThatUnpacks()
    {
        QFETCH(Plant, plant);
        QFETCH(Repair, repair);
        QFETCH(QString, state);
        QTemporaryDir dir;
        const QString game = PlantedGame(dir, plant);
        QVERIFY(!game.isEmpty());
        const QList<GameArchive> archives = Archives(game);
        const GameArchive genrl = archives.at(1); // in the demo's tree: FEET, GENRL, SPC_EA, CH, RE
        const GameAudioCheck::Row before = GameAudioCheck::Check(genrl, dir.path());
        QVERIFY2(before.state == GameAudioCheck::State::Problem && before.repairs.contains(repair), qPrintable(before.findings.join('\n')));

        ScriptedDialogs dialogs;
        RecordingFeedback feedback;
        QString warnings;
        const bool bRepaired = repair == Repair::GrowSlots    ? GameAudioCheck::GrowSlots(feedback, genrl, archives)
                             : repair == Repair::PutInPlace ? GameAudioCheck::PutInPlace(feedback, genrl)
                                                            : GameAudioCheck::RestoreOriginal(feedback, genrl, archives, warnings);
        QVERIFY2(bRepaired, qPrintable(feedback.told.join('\n') + dialogs.Log().join('\n')));

        for (const GameArchive &archive : archives) {
            const GameAudioCheck::Row row = GameAudioCheck::Check(archive, dir.path());
            QVERIFY2(row.findings.isEmpty(), qPrintable(archive.Name() + ": " + row.findings.join('\n')));
        }
        QCOMPARE(QStringList({"OK", "Changed"}).at(int(GameAudioCheck::Check(genrl, dir.path()).state)), state);
        QCOMPARE(Run(KIVO_SFX_PATH, {"-e", genrl.ArchivePath(), dir.path() + "/unpacked", genrl.LookupFilePath()}).exitCode, 0);
    }

    // The slots are written under a save's journal: one that a cut-off save left is its repair's
    // to undo, not overwritten.
    void GrowingSlotsLeavesACutOffSaveAlone()
    {
        QTemporaryDir dir;
        const QString game = PlantedGame(dir, SlotsNotGrown);
        QVERIFY(!game.isEmpty());
        const QString audio = game + "/audio";
        kivo::SaveJournal::Begin((audio + "/SFX/FEET").toStdString(), (audio + "/CONFIG/BankLkup.dat").toStdString());
        const QMap<QString, QByteArray> before = Snapshot(audio);
        RecordingFeedback feedback;
        const QList<GameArchive> archives = Archives(game);
        QVERIFY(!GameAudioCheck::GrowSlots(feedback, archives.at(1), archives));
        QVERIFY2(Snapshot(audio) == before, qPrintable(feedback.told.join('\n')));
    }

    // A sound replaced by one of the same length moves no lookup record: only the listings that
    // unpacking cached tell it from the original.
    void SameLengthChangeShowsOnceListed_data()
    {
        QTest::addColumn<SoundChange>("change");
        QTest::addColumn<QString>("state");
        QTest::newRow("other samples") << SoundChange([](const Samples &samples) { return Samples(samples.size(), 1000); }) << "Changed";
        QTest::newRow("the same samples again") << SoundChange([](const Samples &samples) { return samples; }) << "OK";
    }

    void SameLengthChangeShowsOnceListed()
    {
        QFETCH(SoundChange, change);
        QFETCH(QString, state);
        QTemporaryDir dir;
        const QString game = PlantedGame(dir, [&change](const QString &a) { return SavedWithKeptOriginals(a, change); });
        QVERIFY(!game.isEmpty());
        const GameArchive genrl = Archives(game).at(1);
        QCOMPARE(GameAudioCheck::Check(genrl, dir.path()).state, GameAudioCheck::State::Ok);
        QCOMPARE(Run(KIVO_SFX_PATH, {"-e", genrl.ArchivePath(), dir.path(), genrl.LookupFilePath()}).exitCode, 0);
        EntryStates(genrl.Type(), genrl.ArchivePath(), genrl.LookupFilePath()).Compare(dir.path() + "/GENRL");
        QCOMPARE(QStringList({"OK", "Changed"}).at(int(GameAudioCheck::Check(genrl, dir.path()).state)), state);
    }

    void AbortedCheckChangesNothing()
    {
        QTemporaryDir dir;
        // An interrupted save and an archive packed by hand: what a check that repaired would touch.
        const QString game = PlantedGame(dir, [](const QString &a) {
            kivo::SaveJournal::Begin((a + "/SFX/FEET").toStdString(), (a + "/CONFIG/BankLkup.dat").toStdString());
            return PackChangedSound(a, "SFX/GENRL.new");
        });
        QVERIFY(!game.isEmpty());
        const QMap<QString, QByteArray> before = Snapshot(dir.path());
        RecordingFeedback feedback;
        feedback.stopAt = 2;
        QVERIFY(!GameAudioCheck::Run(feedback, Archives(game), dir.path()));
        QVERIFY(Snapshot(dir.path()) == before);
    }

    void ReportShowsThePlantedProblemInItsRow()
    {
        QTemporaryDir dir;
        const QString game = PlantedGame(dir, ZeroFirstBank);
        QVERIFY(!game.isEmpty());
        {
            QSettings settings(Demo() + "/settings.ini", QSettings::IniFormat);
            settings.setValue("WorkingDirectory", dir.path());
            settings.setValue("GtaDirectory", game);
        }
        ScriptedDialogs dialogs;
        MainWindow window;
        for (QAction *action : window.centralWidget()->findChildren<QAction *>())
            if (action->text() == "Check game a&udio...")
                action->trigger();

        const auto *view = window.findChild<QTreeWidget *>("gameCheckView");
        QVERIFY(view);
        QVERIFY(view->topLevelItemCount() == Archives(game).size());
        for (int row = 0; row < view->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = view->topLevelItem(row);
            const bool bGenrl = item->text(0) == "GENRL";
            QCOMPARE(item->text(1), bGenrl ? "Problem" : "OK");
            QVERIFY(bGenrl ? item->childCount() == 1 && item->child(0)->text(0).startsWith("bank 1 (") : item->childCount() == 0);
        }
    }

private:
    QString Demo() const { return QFileInfo(demo.path()).canonicalFilePath(); }

    // A fresh copy of the demo game with plant applied; empty when either failed.
    QString PlantedGame(const QTemporaryDir &dir, const Plant &plant) const
    {
        const QString game = dir.path() + "/game";
        return Run("cp", {"-R", Demo() + "/game", game}).exitCode == 0 && plant(game + "/audio") ? game : QString();
    }

    static QList<GameArchive> Archives(const QString &game)
    {
        const TreeModel tree(QString::fromLatin1(ReadFile(QCoreApplication::applicationDirPath() + "/configuration.ini")), false);
        return GameArchive::AllOf(tree, game);
    }

    QTemporaryDir demo;
};

QTEST_MAIN(TestGameAudioCheck)
#include "tst_GameAudioCheck.moc"
