#include <QListView>
#include <QStringListModel>
#include <QTest>

#include <sndfile.h>

#include "DemoGame.h"

using namespace GameAudioFiles;

// The real window and tools over the demo game: every command acts on the archive that was
// opened, from the folder it was opened from, whatever happened in the window since.
class TestLoadedArchive : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        game = std::make_unique<DemoGame>();
        QVERIFY(game->IsReady());
    }
    void cleanup() { game.reset(); }

    // CH and RE share one station name, so both unpack into one folder of the working directory.
    void ArchivesSharingAFolderAreNeverMixed_data()
    {
        QTest::addColumn<int>("answer");  // to "Load existing files", had it been asked
        QTest::newRow("load existing") << int(QMessageBox::Yes);
        QTest::newRow("unpack again") << int(QMessageBox::No);
    }
    void ArchivesSharingAFolderAreNeverMixed()
    {
        QFETCH(int, answer);
        QVERIFY(WriteFile(QCoreApplication::applicationDirPath() + "/metadata-full.ini",
                          "stream = CH\nstation = Shared\nstream = RE\nstation = Shared\n"));
        game->Start(true);
        QVERIFY(game->Unpack(1, 0));
        const auto gameBefore = Snapshot(game->Game());
        const auto folderBefore = Snapshot(game->Work() + "/Shared");
        game->dialogs->buttons.enqueue(QMessageBox::StandardButton(answer));

        QVERIFY(!game->Unpack(1, 1));
        game->window->SaveArchive();

        QCOMPARE(game->dialogs->Log(), QStringList{"Error: The folder \"" + game->Work() + "/Shared\" holds the archive CH, "
                                                   "not RE.\nTwo archives may share a station name in metadata-full.ini: "
                                                   "give them different names, or clear the working directory."});
        QVERIFY(Snapshot(game->Work() + "/Shared") == folderBefore);
        QVERIFY(Snapshot(game->Game()) == gameBefore);
    }

    // The archive loaded again while it plays, a new working directory, another row of the tree
    // selected: play, replace, describe and save still act on the opened archive's own files.
    void CommandsFollowTheOpenedArchive()
    {
        game->Start(false);
        QVERIFY(game->Unpack(0, 1));  // GENRL
        const QString folder = game->Work() + "/GENRL";
        QVERIFY(game->window->Play(game->Entry(0, 0)));
        // Loaded again, the entry is a row of another model, but still the file that plays.
        game->dialogs->buttons.enqueue(QMessageBox::Yes);
        QVERIFY(game->Unpack(0, 1));
        game->Select(game->Entry(0, 0));
        game->window->Replace();
        QCOMPARE(game->dialogs->Log().last(), "Warning: You can't replace the file, that is currently playing. "
                                              "Please stop playing the file, before replacing it.");
        game->window->StopPlaying();

        const QString elsewhere = game->Root() + "/elsewhere";
        QVERIFY(QDir().mkpath(elsewhere));
        game->dialogs->paths.enqueue(elsewhere);
        game->window->SetWorkingDirectory();
        game->View("archiveView")->setCurrentIndex(game->ArchiveNode(0, 0));  // FEET, selected only
        const QModelIndex sound = game->Entry(0, 0);
        QCOMPARE(game->window->GetVirtualItemPath(sound), "Archiv\\SFX\\GENRL\\Bank_001\\sound_001.wav");
        game->View("entryView")->setCurrentIndex(sound);
        game->Select(sound);
        game->window->ShowInfoDialog();
        const auto *list = qobject_cast<QStringListModel *>(game->window->findChild<QListView *>("metaList")->model());
        QVERIFY(!list->stringList().isEmpty());
        QVERIFY(ReadFile(QCoreApplication::applicationDirPath() + "/MetaData.xml").contains(list->stringList().first().toUtf8()));
        QVERIFY(game->window->Play(sound));
        QCOMPARE(game->StatusBar()->currentMessage(), "Playing file " + folder + "/Bank_001/sound_001.wav");
        game->window->StopPlaying();

        // A stereo replacement at another rate: the tool converts it and says so.
        const QString replacement = game->Root() + "/stereo.wav";
        QVERIFY(WriteSoundFile(replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Tone(8000, 440, 44100, 9000)));
        game->Replace(game->Entry(0, 1), replacement);
        QCOMPARE(ReadFile(folder + "/Bank_001/sound_002.wav"), ReadFile(replacement));
        QVERIFY(FilesBelow(elsewhere).isEmpty());
        const QByteArray archiveBefore = ReadFile(game->Game() + "/audio/SFX/GENRL");
        game->dialogs->shown.clear();

        game->window->SaveArchive();

        QCOMPARE(game->StatusBar()->currentMessage(), "Save was successfull.");
        const QStringList log = game->dialogs->Log();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].startsWith("Warning: KIVO reported the following warnings:\n") && log[0].contains("sound_002"),
                 qPrintable(log[0]));
        QVERIFY(ReadFile(game->Game() + "/audio/SFX/GENRL") != archiveBefore);
    }

    // The tool names the folder by the archive's file name; a tree name that differs finds nothing.
    void TreeNameThatIsNotTheFileNameIsReported()
    {
        QVERIFY(WriteFile(QCoreApplication::applicationDirPath() + "/configuration.ini",
                          "SFX\n  Renamed\taudio/SFX/GENRL\tSFX\taudio/CONFIG/BankLkup.dat\n"));
        game->Start(false);

        QVERIFY(!game->Unpack(0, 0));

        QCOMPARE(game->dialogs->Log(), QStringList{"Error: No sfx_import.ini was found in \"" + game->Work()
                                                   + "/Renamed\" after unpacking.\nThe archive's name in configuration.ini "
                                                     "must be its file name (or its station name)."});
    }

    // A game folder copied from Windows: unpacked and saved under the names that are on disk.
    void GameFolderInAnotherCaseIsSavedUnderItsOwnNames()
    {
        QVERIFY(QDir(game->Game()).rename("audio", "AUDIO"));
        QVERIFY(QDir(game->Game() + "/AUDIO/CONFIG").rename("BankLkup.dat", "banklkup.dat"));
        game->Start(false);
        QVERIFY(game->Unpack(0, 1));
        game->window->SaveArchive();
        QCOMPARE(game->StatusBar()->currentMessage(), "Save was successfull.");
        QCOMPARE(game->dialogs->Log(), QStringList());
        QCOMPARE(QDir(game->Game()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"AUDIO"});
        QVERIFY(FilesBelow(game->Game()).contains("AUDIO/CONFIG/banklkup.dat.bak"));
        QVERIFY(!FilesBelow(game->Game()).contains("AUDIO/SFX/GENRL.new"));
    }

private:
    std::unique_ptr<DemoGame> game;
};

QTEST_MAIN(TestLoadedArchive)
#include "tst_LoadedArchive.moc"
