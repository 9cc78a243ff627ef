#include "FileLocks.h"
#include "WindowFixture.h"
#include "audio/AudioConverter.h"

#include <QFont>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QTimer>

namespace
{
const QString outsideArchive = "Error: The entry's file name leads outside the archive folder.";
const QString exportChooser = "chooser: Selected directory for export";
const QString cleared = "Working directory was cleared.";
const QString replaced = "Item was successfull replaced.";
const QString unreadable = "Error: The chosen file is not audio that can be read: ";
const QStringList sounds{"a1.wav", "a2.wav", "b1.wav"};  // of the archive Sfx1
const QString playing = "You can't replace the file, that is currently playing. Please stop playing the file, before replacing it.";
}

// Replacing an entry's file, exporting entries and clearing the working directory.
class TestMainWindowFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteSfxArchive("Sfx1", {{"a1.wav", "a2.wav"}, {"b1.wav"}});
        fixture->WriteStreamArchive("Radio", {"t1.ogg"});
        fixture->Open();
    }
    void cleanup() { fixture.reset(); }

    void NothingSelectedOpensNoChooser()
    {
        Window()->Export();
        QVERIFY(fixture->Load("Sfx1"));
        Window()->Export();
        Window()->Replace();
        QCOMPARE(Log(), QStringList{"Nothing selected: Please select the item that should be replaced."});
    }

    void ReplaceSwapsTheFileOrTouchesNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("problem");  // empty: none; "convert": the file is not in the entry's form
        QTest::addColumn<QStringList>("log");  // %file%: the archive file that was to be replaced
        QTest::newRow("sfx") << "Sfx1" << "" << QStringList{"chooser: "};
        QTest::newRow("stream, from a WAV") << "Radio" << "convert" << QStringList{"chooser: "};
        QTest::newRow("old file missing") << "Sfx1" << "missing" << QStringList{"chooser: ", "Error: Failed to delete old file: %file%"};
        QTest::newRow("chosen file vanished") << "Sfx1" << "vanished" << QStringList{"chooser: ", unreadable + "System error : No such file or directory."};
        QTest::newRow("text named .wav") << "Radio" << "text" << QStringList{"chooser: ", unreadable + "Format not recognised."};
        QTest::newRow("entry outside the archive") << "Odd" << "outside" << QStringList{outsideArchive};
    }
    void ReplaceSwapsTheFileOrTouchesNothing()
    {
        QFETCH(QString, archive);
        QFETCH(QString, problem);
        QFETCH(QStringList, log);
        const bool bStream = archive == "Radio";
        QString target = fixture->WorkDir() + (bStream ? "/Radio/t1.ogg" : "/Sfx1/a1.wav");
        if (problem == "outside") {
            target = fixture->WorkDir() + "/victim.wav";
            WindowFixture::WriteWave(target);
            fixture->WriteSfxArchive("Odd", {{"../victim.wav"}}, false);
        }
        QVERIFY(fixture->Load(archive));
        if (problem == "missing")
            QVERIFY(QFile::remove(target));
        const QByteArray old = WindowFixture::ReadAll(target);
        const QStringList before = WindowFixture::Listing(QFileInfo(target).path());
        fixture->EntryView()->setCurrentIndex(fixture->Entry(bStream ? -1 : 0, 0));
        const QString chosen = problem == "vanished" || problem == "text" ? fixture->Elsewhere() + "/gone.wav" : NewSound();
        if (problem == "text")
            WindowFixture::WriteText(chosen, "not audio\n");
        fixture->dialogs.paths.enqueue(chosen);

        Window()->Replace();

        QCOMPARE(Log(), log.replaceInStrings("%file%", target));
        const bool bReplaced = problem.isEmpty() || problem == "convert";
        if (problem == "convert")
            QVERIFY(AudioConverter::HasForm(target, {true, 22050, 1}));  // the old track's own form
        else
            QCOMPARE(WindowFixture::ReadAll(target), bReplaced ? WindowFixture::ReadAll(chosen) : old);
        // Nothing left beside it but the kept original, which is the old file.
        QCOMPARE(WindowFixture::Listing(QFileInfo(target).path()), bReplaced ? QStringList{".originals"} + before : before);
        QCOMPARE(WindowFixture::ReadAll(QFileInfo(target).path() + "/.originals/" + QFileInfo(target).fileName()),
                 bReplaced ? old : QByteArray());
        QCOMPARE(fixture->Status() == replaced, bReplaced);
        if (!bReplaced)
            return;
        QCOMPARE(fixture->dialogs.shown[0].filter, QString(bStream ? "OGG-File (*.ogg)" : "WAV-File (*.wav)") + ";;Audio files (*.wav *.ogg *.oga *.flac *.mp3 *.opus *.aif *.aiff);;All files (*)");
        // The next dialog opens where the last file came from; a cancelled one changes nothing.
        Window()->Replace();
        Window()->Replace();
        QCOMPARE(fixture->dialogs.shown.size(), 3);
        QCOMPARE(fixture->dialogs.shown[1].directory, fixture->Elsewhere());
        QCOMPARE(fixture->dialogs.shown[2].directory, fixture->Elsewhere());
    }

    void ReplaceRefusesPlayingEntryUntilStopped()
    {
        QVERIFY(fixture->Load("Sfx1"));
        const QModelIndex sound = fixture->Entry(0, 0);
        fixture->EntryView()->setCurrentIndex(sound);
        QVERIFY(Window()->Play(sound));

        Window()->Replace();
        QCOMPARE(Log(), QStringList{"Warning: " + playing});

        // Stopped once the output has mixed it for a while, the entry is free again.
        fixture->dialogs.shown.clear();
        QTest::qWait(300);
        Window()->StopPlaying();
        Window()->Replace();
        QCOMPARE(Log(), QStringList{"chooser: "});
    }

    // The first sound plays, so it is refused; the second comes in its form, the third as FLAC.
    void FolderReplacesListedEntriesUntilAborted_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("abort");  // once the second sound is in
        QTest::addColumn<QString>("summary");
        const QString refused = "\n\nRefused:\na1.wav <- Bank_1/sound_1.wav: it is playing";
        QTest::newRow("cancelled") << int(QMessageBox::Cancel) << false << "";
        QTest::newRow("all") << int(QMessageBox::Ok) << false << "Warning: 2 of 3 entries replaced." + refused;
        QTest::newRow("aborted midway") << int(QMessageBox::Ok) << true
            << "Warning: 1 of 3 entries replaced.\nAborted: the entries not replaced yet are as they were." + refused;
    }
    void FolderReplacesListedEntriesUntilAborted()
    {
        QFETCH(int, answer);
        QFETCH(bool, abort);
        QFETCH(QString, summary);
        const QString mod = fixture->Elsewhere() + "/mod";
        WindowFixture::WriteWave(mod + "/Bank_1/sound_1.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 5);
        WindowFixture::WriteWave(mod + "/Sfx1/Bank_001/sound_002.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6);
        WindowFixture::WriteWave(mod + "/Bank_2/sound_1.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 7);
        WindowFixture::WriteWave(mod + "/Bank_1/sound_9.wav");
        WindowFixture::WriteText(mod + "/notes.txt", "mine");
        QVERIFY(fixture->Load("Sfx1"));
        QVERIFY(Window()->Play(fixture->Entry(0, 0)));
        const QList<QByteArray> old = SoundContents();
        const QStringList before = WindowFixture::Listing(SfxFolder());
        fixture->dialogs.paths.enqueue(mod);
        fixture->dialogs.buttons.enqueue(QMessageBox::StandardButton(answer));
        QTimer abortTimer;
        QObject::connect(&abortTimer, &QTimer::timeout, Window(), [&] {
            auto *progress = Window()->findChild<QProgressDialog *>("folderReplaceProgress");
            if (progress && WindowFixture::ReadAll(SfxFolder() + "/a2.wav") != old[1])
                progress->cancel();
        });
        if (abort)
            abortTimer.start(0);

        Window()->ReplaceFromFolder();

        QStringList log{"chooser: Select the folder with the replacements",
                        "Replace from folder: a1.wav <- Bank_1/sound_1.wav\na2.wav <- Sfx1/Bank_001/sound_002.wav\n"
                        "b1.wav <- Bank_2/sound_1.wav\nBank_1/sound_9.wav: this archive has no such entry\nnotes.txt: names no entry"};
        if (!summary.isEmpty())
            log << summary.replace("Warning: ", "Replace from folder: ");
        QCOMPARE(Log(), log);
        // What went in keeps its original, as a single replace does.
        QCOMPARE(WindowFixture::Listing(SfxFolder()), answer == QMessageBox::Ok ? QStringList{".originals"} + before : before);
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/.originals/a2.wav"), answer == QMessageBox::Ok ? old[1] : QByteArray());
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/a1.wav"), old[0]);
        const bool bAll = answer == QMessageBox::Ok && !abort;
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/a2.wav"), answer == QMessageBox::Ok ? WindowFixture::ReadAll(mod + "/Sfx1/Bank_001/sound_002.wav") : old[1]);
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/b1.wav") != old[2], bAll);
        QVERIFY(AudioConverter::HasForm(SfxFolder() + "/b1.wav", {false, 22050, 1}));
        QCOMPARE(fixture->dialogs.shown.last().kind, summary.isEmpty() ? UserDialogs::Kind::Dialog : UserDialogs::Kind::Warning);
    }

    void DroppedFilesReplaceTheirEntries_data()
    {
        QTest::addColumn<QStringList>("files");  // in the folder elsewhere
        QTest::addColumn<int>("row");            // in the first bank, where they fall
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("changed");
        QTest::newRow("one on a sound") << QStringList{"new.wav"} << 1 << QStringList() << QStringList{"a2.wav"};
        QTest::newRow("one on the playing sound") << QStringList{"new.wav"} << 0 << QStringList{"Warning: " + playing} << QStringList();
        QTest::newRow("several named like entries") << QStringList{"x/Bank_2/sound_1.wav", "y/Bank_001/Sound_02.wav"} << 0
            << QStringList{"Replace from folder: a2.wav <- Bank_001/Sound_02.wav\nb1.wav <- Bank_2/sound_1.wav",
                           "Replace from folder: 2 of 2 entries replaced."} << QStringList{"a2.wav", "b1.wav"};
        QTest::newRow("several named like no entry") << QStringList{"new.wav", "x/other.wav"} << 1
            << QStringList{"Replace from folder: None of the dropped files can replace an entry of the open archive. Files are "
                           "matched by names like Bank_001/sound_001.wav; a single file dropped on an entry replaces that entry."}
            << QStringList();
    }
    void DroppedFilesReplaceTheirEntries()
    {
        QFETCH(QStringList, files);
        QFETCH(int, row);
        QFETCH(QStringList, log);
        QFETCH(QStringList, changed);
        QVERIFY(fixture->Load("Sfx1"));
        Window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window()));
        fixture->EntryView()->expandAll();
        QVERIFY(Window()->Play(fixture->Entry(0, 0)));
        QList<QUrl> urls;
        for (const QString &file : files) {
            WindowFixture::WriteWave(fixture->Elsewhere() + '/' + file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 9);
            urls << QUrl::fromLocalFile(fixture->Elsewhere() + '/' + file);
        }
        const QList<QByteArray> old = SoundContents();
        QMimeData data;
        data.setUrls(urls);
        // As from a file manager: the drag enters the list, then falls on the entry.
        const QPoint point = fixture->EntryView()->visualRect(fixture->Entry(0, row)).center();
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        for (QDropEvent *event : {static_cast<QDropEvent *>(&enter), &drop}) {
            QCoreApplication::sendEvent(fixture->EntryView()->viewport(), event);
            QVERIFY(event->isAccepted());
        }
        QCoreApplication::processEvents();

        QCOMPARE(Log(), log);
        for (int i = 0; i < sounds.size(); ++i)
            QCOMPARE(SoundContents()[i] != old[i], changed.contains(sounds[i]));
        QCOMPARE(fixture->Status() == replaced, files.size() == 1 && !changed.isEmpty());
    }

    void ExportCopiesOrReports_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QList<QPoint>>("selected");  // (top-level row or -1, row)
        QTest::addColumn<QString>("box");             // after the chooser; empty: none
        QTest::addColumn<QStringList>("exported");    // what the chosen folder holds afterwards
        QTest::addColumn<QByteArray>("a1");           // "source": as a1.wav of the archive was

        QTest::newRow("copies over an existing file")
            << "older a1" << QList<QPoint>{{0, 0}, {1, 0}} << "" << QStringList{"a1.wav", "b1.wav"} << QByteArray("source");
        QTest::newRow("into the source folder the file stays as it is")
            << "into source" << QList<QPoint>{{0, 0}} << "Note: Source and destination file are the same. File won't be exported."
            << QStringList{"a1.wav", "a2.wav", "b1.wav", "sfx_import.ini"} << QByteArray("source");
        QTest::newRow("a folder entry is skipped and the next goes on")
            << "bank folder" << QList<QPoint>{{-1, 0}, {1, 0}} << "Note: The selected item is not a file."
            << QStringList{"b1.wav"} << QByteArray();
        QTest::newRow("an existing file that cannot be deleted stops the export")
            << "folder in the way" << QList<QPoint>{{0, 0}, {0, 1}} << "Error: Failed to delete existing file."
            << QStringList{"a1.wav"} << QByteArray();
        QTest::newRow("a failing copy keeps the existing file and goes on")
            << "source missing" << QList<QPoint>{{0, 0}, {0, 1}} << "Error: Failed to export file."
            << QStringList{"a1.wav", "a2.wav"} << QByteArray("keep me");
        QTest::newRow("an entry outside the archive is refused")
            << "outside" << QList<QPoint>{{0, 0}, {0, 1}} << outsideArchive << QStringList{"fine.wav"} << QByteArray();
    }
    void ExportCopiesOrReports()
    {
        QFETCH(QString, setup);
        QFETCH(QList<QPoint>, selected);
        QFETCH(QString, box);
        QFETCH(QStringList, exported);
        QFETCH(QByteArray, a1);
        const QString chosen = setup == "into source" ? SfxFolder() : fixture->Elsewhere();
        if (setup == "outside") {
            WindowFixture::WriteText(fixture->Root() + "/secret.txt", "secret");
            fixture->WriteSfxArchive("Odd", {{"../../secret.txt", "fine.wav"}}, false);
            WindowFixture::WriteWave(fixture->WorkDir() + "/Odd/fine.wav");
            QVERIFY(fixture->Load("Odd"));
        } else {
            QVERIFY(fixture->Load("Sfx1"));
        }
        const QByteArray source = WindowFixture::ReadAll(SfxFolder() + "/a1.wav");
        if (setup == "older a1")
            WindowFixture::WriteText(chosen + "/a1.wav", "older");
        if (setup == "bank folder")
            QVERIFY(QDir(SfxFolder()).mkdir("Bank_001"));
        if (setup == "folder in the way")  // cannot be deleted as a file
            QVERIFY(QDir(chosen).mkpath("a1.wav/keep"));
        if (setup == "source missing") {
            WindowFixture::WriteText(chosen + "/a1.wav", "keep me");
            QVERIFY(QFile::remove(SfxFolder() + "/a1.wav"));
        }
        for (const QPoint &entry : selected)
            Select(fixture->Entry(entry.x(), entry.y()));
        fixture->dialogs.paths.enqueue(chosen);

        Window()->Export();

        QCOMPARE(Log(), (box.isEmpty() ? QStringList{exportChooser} : QStringList{exportChooser, box}));
        QCOMPARE(WindowFixture::Listing(chosen), exported);
        if (!a1.isEmpty())
            QCOMPARE(WindowFixture::ReadAll(chosen + "/a1.wav"), a1 == "source" ? source : a1);
        QCOMPARE(fixture->Status(), fixture->WorkDir());  // the status bar stays as it was
        // The chooser opens where the last export went, whatever came of it; a cancelled one changes nothing.
        QCOMPARE(fixture->dialogs.shown[0].directory, QString());
        Window()->Export();
        Window()->Export();
        QCOMPARE(fixture->dialogs.shown.last().directory, chosen);
    }

    void ClearRefusedOrDeclinedChangesNothing_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("box");  // empty: the question
        QTest::newRow("no working directory") << "none" << "Information: No working directory was specified.";
        QTest::newRow("working directory missing") << "missing" << "Warning: Working directory doesn't exists.";
        QTest::newRow("while playing") << "playing" << "Warning: Please stop the player before clearing your working directory.";
        QTest::newRow("answered no") << "no" << "";
        const QString overlap = "Error: The working directory is, holds or lies inside the game folder. Nothing was deleted.";
        QTest::newRow("the game folder itself") << "game:work" << overlap;
        QTest::newRow("inside the game folder") << "game:root" << overlap;
        QTest::newRow("holding the game folder") << "game:work/gta" << overlap;
    }
    void ClearRefusedOrDeclinedChangesNothing()
    {
        QFETCH(QString, setup);
        QFETCH(QString, box);
        if (setup == "none") {
            fixture.reset();
            fixture = std::make_unique<WindowFixture>();
            QSettings("settings.ini", QSettings::IniFormat).setValue("WorkingDirectory", QString());
            fixture->Open();  // the start-up chooser is cancelled: no working directory
        } else if (setup.startsWith("game:")) {
            const QString game = setup.mid(5).replace("root", fixture->Root()).replace("work", fixture->WorkDir());
            QVERIFY(QDir().mkpath(game));
            fixture->WriteSettings({{"GtaDirectory", game}});
            fixture->Open();
            QVERIFY(fixture->Load("Sfx1"));
        } else {
            QVERIFY(fixture->Load("Sfx1"));
        }
        if (setup == "missing")
            QVERIFY(QDir(fixture->WorkDir()).removeRecursively());
        if (setup == "playing")
            QVERIFY(Window()->Play(fixture->Entry(0, 0)));
        fixture->dialogs.buttons.enqueue(QMessageBox::No);
        const QStringList before = WindowFixture::Listing(fixture->WorkDir()), beforeInArchive = WindowFixture::Listing(SfxFolder());

        Window()->ClearWorkingDirectory();

        QCOMPARE(Log(), box.isEmpty() ? Question() : QStringList{box});
        if (setup == "no") {
            QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(fixture->Entries());
        }
        QCOMPARE(WindowFixture::Listing(fixture->WorkDir()), before);
        QCOMPARE(WindowFixture::Listing(SfxFolder()), beforeInArchive);
    }

    void ClearRemovesArchiveFoldersAndLinksOnly()
    {
        QVERIFY(fixture->Load("Sfx1"));
        QVERIFY(QDir(SfxFolder()).mkpath("deep/deeper"));
        WindowFixture::WriteText(SfxFolder() + "/deep/deeper/x.txt", "x");
        WindowFixture::WriteText(SfxFolder() + "/deep/.hidden", "h");
        WindowFixture::WriteText(SfxFolder() + "/.originals/a1.wav", "kept");
        WindowFixture::WriteText(fixture->WorkDir() + "/notes.txt", "mine");
        // Links go, what they point to stays.
        const QString outside = fixture->Elsewhere();
        QVERIFY(QDir(outside).mkpath("folder"));
        WindowFixture::WriteText(outside + "/keep.txt", "keep");
        WindowFixture::WriteText(outside + "/folder/keep.txt", "keep");
        // Named like an archive of the tree, a link goes as a link; the user's own folder stays.
        QVERIFY(QFile::link(outside, fixture->WorkDir() + "/Sfx2"));
        WindowFixture::WriteText(fixture->WorkDir() + "/mine/keep.txt", "mine");
        QVERIFY(QFile::link(outside + "/folder", SfxFolder() + "/inner-link"));
        QVERIFY(QFile::link(outside + "/keep.txt", SfxFolder() + "/file-link.wav"));
        fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

        Window()->ClearWorkingDirectory();

        const QString keptBox = "Information: These folders were kept because they hold no unpacked archive:\nmine";
        QCOMPARE(Log(), Question() << keptBox);
        QCOMPARE(WindowFixture::Listing(fixture->WorkDir()), (QStringList{"mine", "notes.txt"}));
        QCOMPARE(WindowFixture::Listing(outside), (QStringList{"folder", "keep.txt"}));
        QCOMPARE(WindowFixture::Listing(outside + "/folder"), QStringList{"keep.txt"});
        QVERIFY(!fixture->Entries());
        QCOMPARE(fixture->Status(), cleared);
        // The list is empty now, so there is nothing to play, search or save.
        QVERIFY(!Window()->ContentAvailable());
        Window()->SaveArchive();
        QCOMPARE(Log(), Question() << keptBox);

        // Nothing of an archive left: nothing to remove, and still a success.
        fixture->dialogs.buttons.enqueue(QMessageBox::Yes);
        Window()->ClearWorkingDirectory();
        QCOMPARE(WindowFixture::Listing(fixture->WorkDir()), (QStringList{"mine", "notes.txt"}));
        QCOMPARE(fixture->Status(), cleared);
    }

    void ClearReportsFailureAndRemovesTheRest()
    {
        Locks locks;
        WindowFixture::WriteText(SfxFolder() + "/Bank_001/locked.wav", "x");
        if (!locks.Lock(SfxFolder() + "/Bank_001/locked.wav") || !locks.Lock(SfxFolder() + "/Bank_001"))
            QSKIP("files cannot be locked against this user here");
        fixture->WriteSfxArchive("Sfx2", {{"a1.wav"}});
        fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

        Window()->ClearWorkingDirectory();

        locks.UnlockAll();
        QCOMPARE(Log(), Question() << "Error: Failed to clear working directory.");
        QCOMPARE(WindowFixture::Listing(fixture->WorkDir()), QStringList{"Sfx1"});
        QVERIFY(QFile::exists(SfxFolder() + "/Bank_001/locked.wav"));
        QVERIFY(fixture->Status() != cleared);
    }

    // Replace keeps the first original; marks follow the kept files, also after a reload; revert
    // and "Play original" use them, and neither moves a file that plays.
    void ChangesAreMarkedAndCanBeTakenBack()
    {
        QVERIFY(fixture->Load("Sfx1"));
        const QByteArray original = WindowFixture::ReadAll(SfxFolder() + "/a2.wav");
        const auto *count = Window()->findChild<QLabel *>("changedCount");
        QCOMPARE(count->text(), "0 of 3 entries changed");
        for (int seed : {7, 9}) {
            Select(fixture->Entry(0, 1));
            const QString chosen = fixture->Elsewhere() + "/new.wav";
            WindowFixture::WriteWave(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, seed);
            fixture->dialogs.paths.enqueue(chosen);
            Window()->Replace();
            QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/a2.wav"), WindowFixture::ReadAll(chosen));
        }
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/.originals/a2.wav"), original);
        QVERIFY(fixture->Load("Sfx1"));
        const QModelIndex sound = fixture->Entry(0, 1);
        QVERIFY(sound.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!sound.data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!fixture->Entry(0, 0).data(Qt::FontRole).isValid());
        QCOMPARE(fixture->Entry(-1, 0).data().toString(), "Bank_001  (1 changed)");
        QCOMPARE(fixture->Entry(-1, 1).data().toString(), "Bank_002");
        QCOMPARE(count->text(), "1 of 3 entries changed");

        fixture->EntryView()->setCurrentIndex(sound);
        Window()->PlayOriginal();
        QCOMPARE(fixture->Status(), "Playing original file " + SfxFolder() + "/.originals/a2.wav");
        Select(fixture->Entry(-1, 0));  // the bank stands for its sounds
        Window()->RevertToOriginal();
        QCOMPARE(Log().last(), "Warning: You can't revert the file, that is currently playing. "
                               "Please stop playing the file, before reverting it.");
        Window()->StopPlaying();
        Window()->RevertToOriginal();

        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/a2.wav"), original);
        QVERIFY(!QFileInfo::exists(SfxFolder() + "/.originals"));
        QVERIFY(!fixture->Entry(0, 1).data(Qt::FontRole).isValid());
        QCOMPARE(count->text(), "0 of 3 entries changed");
        QCOMPARE(fixture->Status(), "1 entries were reverted to their originals.");
        Window()->RevertToOriginal();
        Window()->PlayOriginal();
        QCOMPARE(Log().mid(Log().size() - 2), (QStringList{"Note: The selected entries have not been changed.",
                                                           "Note: This entry has not been changed: its file is the original."}));
    }

private:
    QString SfxFolder() const { return fixture->WorkDir() + "/Sfx1"; }
    MainWindow *Window() const { return fixture->Window(); }
    QStringList Log() const { return fixture->dialogs.Log(); }
    QList<QByteArray> SoundContents() const
    {
        QList<QByteArray> contents;
        for (const QString &sound : sounds)
            contents << WindowFixture::ReadAll(SfxFolder() + '/' + sound);
        return contents;
    }
    void Select(const QModelIndex &index) const
    {
        fixture->EntryView()->selectionModel()->select(index, QItemSelectionModel::Select);
    }
    // A WAV file outside the working directory whose bytes differ from every archive file.
    QString NewSound() const
    {
        const QString path = fixture->Elsewhere() + "/new.wav";
        WindowFixture::WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7);
        return path;
    }
    QStringList Question() const
    {
        return {"Warning: All files inside your working directory (" + fixture->WorkDir()
                + ") will be deleted.\nDo you want continue?"};
    }

    std::unique_ptr<WindowFixture> fixture;
};


QTEST_MAIN(TestMainWindowFiles)
#include "tst_MainWindowFiles.moc"
