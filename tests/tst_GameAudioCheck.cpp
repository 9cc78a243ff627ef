// The program's check of the game's audio over copies of the demo game: each repair leaves a game
// that the check finds clean and that unpacks, an aborted check writes nothing, and the report
// window shows a planted problem in its archive's row.
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include "DemoGame.h"
#include "PlantedGame.h"
#include "RecordingFeedback.h"
#include "app/archive/GameAudioCheck.h"
#include "format/SaveJournal.h"
#include "tree/TreeModel.h"

using namespace GameAudioFiles;
using namespace PlantedGame;
using Repair = GameAudioCheck::Repair;
Q_DECLARE_METATYPE(GameAudioCheck::Repair)
Q_DECLARE_METATYPE(PlantedGame::SoundChange)

namespace
{
// What a bad copy leaves: zeros over GENRL's first bank header.
bool ZeroFirstBank(const QString &audio)
{
    return Run("dd", {"if=/dev/zero", "of=" + audio + "/SFX/GENRL", "bs=4804", "count=1", "conv=notrunc"}).exitCode == 0;
}
}

class TestGameAudioCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(demo.IsReady()); }

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
        const QString game = Planted(dir, plant);
        QVERIFY(!game.isEmpty());
        const QList<GameArchive> archives = Archives(game);
        const GameArchive genrl = archives.at(1); // in the demo's tree: FEET, GENRL, SPC_EA, CH, RE
        const GameAudioCheck::Row before = GameAudioCheck::Check(genrl, dir.path());
        QVERIFY2(before.state == GameAudioCheck::State::Problem && before.repairs.contains(repair), qPrintable(before.findings.join('\n')));

        RecordingFeedback feedback;
        QString warnings;
        const bool bRepaired = repair == Repair::GrowSlots    ? GameAudioCheck::GrowSlots(feedback, genrl, archives)
                             : repair == Repair::PutInPlace ? GameAudioCheck::PutInPlace(feedback, genrl)
                                                            : GameAudioCheck::RestoreOriginal(feedback, genrl, archives, warnings);
        QVERIFY2(bRepaired, qPrintable(feedback.told.join('\n') + demo.dialogs->Log().join('\n')));

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
        const QString game = Planted(dir, SlotsNotGrown);
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
        const QString game = Planted(dir, [&change](const QString &a) { return SavedWithKeptOriginals(a, change); });
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
        const QString game = Planted(dir, [](const QString &a) {
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
        const QString game = Planted(dir, ZeroFirstBank);
        QVERIFY(!game.isEmpty());
        demo.Start(false, game, dir.path());
        demo.Trigger("Check game a&udio...");

        const auto *view = demo.window->findChild<QTreeWidget *>("gameCheckView");
        QVERIFY(view);
        QVERIFY(view->topLevelItemCount() == Archives(game).size());
        for (int row = 0; row < view->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = view->topLevelItem(row);
            const bool bGenrl = item->text(0) == "GENRL";
            QCOMPARE(item->text(1), bGenrl ? "Problem" : "OK");
            QVERIFY(bGenrl ? item->childCount() == 1 && item->child(0)->text(0).startsWith("bank 1 (") : item->childCount() == 0);
        }
        // The first archive with a problem is selected, and its finding shown whole below the list.
        const QString details = demo.window->findChild<QLabel *>("gameCheckDetails")->text();
        QVERIFY2(details.startsWith("bank 1 (") && details.endsWith("the game finds no sounds in it"), qPrintable(details));
    }

private:
    // A fresh copy of the demo game with plant applied; empty when either failed.
    QString Planted(const QTemporaryDir &dir, const Plant &plant) const
    {
        const QString game = dir.path() + "/game";
        return Copy(demo.Game(), game, plant) ? game : QString();
    }

    static QList<GameArchive> Archives(const QString &game)
    {
        const TreeModel tree(QString::fromLatin1(ReadFile(QCoreApplication::applicationDirPath() + "/configuration.ini")), false);
        return GameArchive::AllOf(tree, game);
    }

    DemoGame demo;
};

QTEST_MAIN(TestGameAudioCheck)
#include "tst_GameAudioCheck.moc"
