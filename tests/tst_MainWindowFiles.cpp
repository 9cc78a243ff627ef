#include "FileLocks.h"
#include "WindowFixture.h"
#include "app/archive/LoopStarts.h"
#include "audio/AudioConverter.h"
#include "waveform/WaveformView.h"

#include <QFont>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QTimer>

namespace
{
const QString outsideArchive = "Error: The entry's file name leads outside the archive folder.";
const QString exportChooser = "chooser: Selected directory for export";
const QString replaced = "Item was successfull replaced.";
const QStringList sounds{"a1.wav", "a2.wav", "b1.wav"};  // of the archive Sfx1
const QString playing = "Warning: You can't replace the file, that is currently playing. Please stop playing the file, "
                        "before replacing it.";
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

    void ReplaceSwapsTheFileOrTouchesNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("problem");  // "convert": a good file, but not in the entry's form
        QTest::addColumn<QStringList>("log");
        // Stopped once the output has mixed it for a while, the entry is free again.
        QTest::newRow("sfx, refused while it plays") << "Sfx1" << "playing" << QStringList{playing, "chooser: "};
        QTest::newRow("stream, from a WAV") << "Radio" << "convert" << QStringList{"chooser: "};
        QTest::newRow("nothing selected") << "Sfx1" << "unselected"
                                          << QStringList{"Nothing selected: Please select the item that should be replaced."};
        QTest::newRow("text named .wav") << "Radio" << "text"
            << QStringList{"chooser: ", "Error: The chosen file is not audio that can be read: Format not recognised."};
        // Fails once the old file waits among the originals: it must come back.
        QTest::newRow("rate the entry cannot have") << "Sfx1" << "rate" << QStringList{"chooser: ", "Error: The entry's sample "
                                                                   "rate (999999 Hz) or channel count (1) cannot be written."};
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
        if (problem == "rate")
            WindowFixture::WriteText(SfxFolder() + "/sfx_import.ini",
                                     WindowFixture::ReadAll(SfxFolder() + "/sfx_import.ini").replace("=22050", "=999999"));
        QVERIFY(fixture->Load(archive));
        const QByteArray old = WindowFixture::ReadAll(target);
        const QStringList before = WindowFixture::Listing(QFileInfo(target).path());
        const QModelIndex entry = fixture->Entry(bStream ? -1 : 0, 0);
        if (problem != "unselected")
            fixture->EntryView()->setCurrentIndex(entry);
        if (problem == "playing") {
            QVERIFY(Window()->Play(entry));
            Window()->Replace();
            QTest::qWait(300);
            Window()->StopPlaying();
        }
        const QString chosen = fixture->Elsewhere() + "/new.wav";
        if (problem == "text")
            WindowFixture::WriteText(chosen, "not audio\n");
        else
            WindowFixture::WriteWave(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7);
        fixture->dialogs.paths.enqueue(chosen);

        Window()->Replace();

        QCOMPARE(Log(), log);
        const bool bReplaced = problem == "playing" || problem == "convert";
        if (problem == "convert")
            QVERIFY(AudioConverter::HasForm(target, {true, 22050, 1}));  // the old track's own form
        else
            QCOMPARE(WindowFixture::ReadAll(target), bReplaced ? WindowFixture::ReadAll(chosen) : old);
        // Nothing left beside it, and the kept original is the old file (a failure may leave its folder, empty).
        QCOMPARE(WindowFixture::Listing(QFileInfo(target).path()).filter(QRegularExpression("^[^.]")), before);
        QCOMPARE(WindowFixture::ReadAll(QFileInfo(target).path() + "/.originals/" + QFileInfo(target).fileName()),
                 bReplaced ? old : QByteArray());
        QCOMPARE(fixture->Status() == replaced, bReplaced);
        if (!bReplaced)
            return;
        // The next chooser opens where the last file came from; a cancelled one changes nothing.
        Window()->Replace();
        Window()->Replace();
        QCOMPARE(fixture->dialogs.shown.last().directory, fixture->Elsewhere());
    }

    // a1.wav plays throughout, so it is refused; a file named .flac holds FLAC and comes in converted.
    void SeveralFilesReplaceTheEntriesTheyName_data()
    {
        QTest::addColumn<int>("row");            // of the first bank, where the files are dropped; -1: their folder is chosen
        QTest::addColumn<QStringList>("files");  // in a folder elsewhere
        QTest::addColumn<int>("answer");         // to the list of what will be replaced
        QTest::addColumn<bool>("abort");         // once a2.wav is in
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("changed");
        const QString box = "Replace from folder: ";
        const QStringList mod{"Bank_1/sound_1.wav", "Sfx1/Bank_001/sound_002.wav", "Bank_2/sound_1.flac", "Bank_1/sound_9.wav",
                              "notes.txt"};
        const QStringList plan{"chooser: Select the folder with the replacements",
                               box + "a1.wav <- Bank_1/sound_1.wav\na2.wav <- Sfx1/Bank_001/sound_002.wav\n"
                                     "b1.wav <- Bank_2/sound_1.flac\nBank_1/sound_9.wav: this archive has no such entry\n"
                                     "notes.txt: names no entry"};
        const QString aborted = "\nAborted: the entries not replaced yet are as they were.";
        const QString refused = "\n\nRefused:\na1.wav <- Bank_1/sound_1.wav: it is playing";
        const int ok = QMessageBox::Ok;
        QTest::newRow("folder, cancelled") << -1 << mod << int(QMessageBox::Cancel) << false << plan << QStringList();
        QTest::newRow("folder") << -1 << mod << ok << false << plan + QStringList{box + "2 of 3 entries replaced." + refused}
                                << QStringList{"a2.wav", "b1.wav"};
        QTest::newRow("folder, aborted midway") << -1 << mod << ok << true
            << plan + QStringList{box + "1 of 3 entries replaced." + aborted + refused} << QStringList{"a2.wav"};
        QTest::newRow("one dropped on a sound") << 1 << QStringList{"new.wav"} << ok << false << QStringList()
                                                << QStringList{"a2.wav"};
        QTest::newRow("several dropped, named like entries") << 0 << QStringList{"x/Bank_2/sound_1.wav", "y/Bank_001/Sound_02.wav"}
            << ok << false << QStringList{box + "a2.wav <- Bank_001/Sound_02.wav\nb1.wav <- Bank_2/sound_1.wav",
                                          box + "2 of 2 entries replaced."} << QStringList{"a2.wav", "b1.wav"};
        QTest::newRow("several dropped, named like no entry") << 1 << QStringList{"new.wav", "x/other.wav"} << ok << false
            << QStringList{box + "None of the dropped files can replace an entry of the open archive. Files are matched by names "
                                 "like Bank_001/sound_001.wav; a single file dropped on an entry replaces that entry."}
            << QStringList();
    }
    void SeveralFilesReplaceTheEntriesTheyName()
    {
        QFETCH(int, row);
        QFETCH(QStringList, files);
        QFETCH(int, answer);
        QFETCH(bool, abort);
        QFETCH(QStringList, log);
        QFETCH(QStringList, changed);
        QVERIFY(fixture->Load("Sfx1"));
        Window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window()));
        fixture->EntryView()->expandAll();
        QVERIFY(Window()->Play(fixture->Entry(0, 0)));
        const QString folder = fixture->Elsewhere() + "/mod/";
        QList<QUrl> urls;
        for (int i = 0; i < files.size(); ++i) {
            const int format = files[i].endsWith(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV;
            WindowFixture::WriteWave(folder + files[i], format | SF_FORMAT_PCM_16, 5 + i);
            urls << QUrl::fromLocalFile(folder + files[i]);
        }
        QList<QByteArray> old;
        for (const QString &sound : sounds)
            old << WindowFixture::ReadAll(SfxFolder() + '/' + sound);
        const QStringList before = WindowFixture::Listing(SfxFolder());
        fixture->dialogs.buttons.enqueue(QMessageBox::StandardButton(answer));
        QTimer abortTimer;
        QObject::connect(&abortTimer, &QTimer::timeout, Window(), [&] {
            auto *progress = Window()->findChild<QProgressDialog *>("folderReplaceProgress");
            if (progress && WindowFixture::ReadAll(SfxFolder() + "/a2.wav") != old[1])
                progress->cancel();
        });
        if (abort)
            abortTimer.start(0);

        if (row < 0) {
            fixture->dialogs.paths.enqueue(folder);
            Window()->ReplaceFromFolder();
        } else {
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
        }

        QCOMPARE(Log(), log);
        // What went in keeps its original, as a single replace does, in the form of the entry it replaced.
        QCOMPARE(WindowFixture::Listing(SfxFolder()), changed.isEmpty() ? before : QStringList{".originals"} + before);
        QCOMPARE(WindowFixture::Listing(SfxFolder() + "/.originals"), changed);
        for (int i = 0; i < sounds.size(); ++i) {
            QCOMPARE(WindowFixture::ReadAll(SfxFolder() + '/' + sounds[i]) != old[i], changed.contains(sounds[i]));
            QVERIFY(AudioConverter::HasForm(SfxFolder() + '/' + sounds[i], {false, 22050, 1}));
        }
        QCOMPARE(fixture->Status() == replaced, files.size() == 1);
    }

    void ExportCopiesOrReports_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QList<QPoint>>("selected");  // (top-level row or -1, row)
        QTest::addColumn<QString>("box");             // after the chooser; empty: none
        QTest::addColumn<QStringList>("exported");    // what the chosen folder holds afterwards

        QTest::newRow("into the source folder the file stays as it is")
            << "into source" << QList<QPoint>{{0, 0}} << "Note: Source and destination file are the same. File won't be exported."
            << QStringList{"a1.wav", "a2.wav", "b1.wav", "sfx_import.ini"};
        QTest::newRow("a failing copy keeps the existing file and goes on")
            << "source missing" << QList<QPoint>{{0, 0}, {0, 1}} << "Error: Failed to export file." << QStringList{"a1.wav", "a2.wav"};
        QTest::newRow("an entry outside the archive is refused")
            << "outside" << QList<QPoint>{{0, 0}, {0, 1}} << outsideArchive << QStringList{"fine.wav"};
    }
    void ExportCopiesOrReports()
    {
        QFETCH(QString, setup);
        QFETCH(QList<QPoint>, selected);
        QFETCH(QString, box);
        QFETCH(QStringList, exported);
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
        if (setup != "outside")
            QCOMPARE(WindowFixture::ReadAll(chosen + "/a1.wav"), setup == "source missing" ? QByteArray("keep me") : source);
        // The chooser opens where the last export went, whatever came of it; a cancelled one changes nothing.
        Window()->Export();
        Window()->Export();
        QCOMPARE(fixture->dialogs.shown.last().directory, chosen);
    }

    // Only folders that unpacking made go, and links as links; whatever stops it, the rest stays.
    void ClearRemovesOnlyUnpackedArchives_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("log");   // %question%: asking whether to go on
        QTest::addColumn<QStringList>("left");  // in the working directory; empty: all that was there
        const QString overlap = "Error: The working directory is, holds or lies inside the game folder. Nothing was deleted.";
        QTest::newRow("no working directory") << "none" << QStringList{"Information: No working directory was specified."}
                                              << QStringList();
        QTest::newRow("working directory missing") << "missing" << QStringList{"Warning: Working directory doesn't exists."}
                                                   << QStringList();
        QTest::newRow("while playing") << "playing"
            << QStringList{"Warning: Please stop the player before clearing your working directory."} << QStringList();
        QTest::newRow("answered no") << "no" << QStringList{"%question%"} << QStringList();
        QTest::newRow("the game folder itself") << "game:work" << QStringList{overlap} << QStringList();
        // Replaced entries are named first; a "No" there keeps everything.
        const QString changed = "Warning: Entries of these archives were replaced in the working directory and are lost "
                                "when it is cleared:\nSfx1: 2 entries\nClear it anyway?";
        QTest::newRow("replaced entries, answered no") << "links:no" << QStringList{changed} << QStringList();
        QTest::newRow("archive folders and links") << "links"
            << QStringList{changed, "%question%", "Information: These folders were kept because they hold no unpacked archive:\nmine"}
            << QStringList{"mine", "notes.txt"};
        QTest::newRow("a locked file") << "locked" << QStringList{"%question%", "Error: Failed to clear working directory."}
                                       << QStringList{"Sfx1"};
    }
    void ClearRemovesOnlyUnpackedArchives()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, log);
        QFETCH(QStringList, left);
        if (setup == "none") {
            fixture.reset();
            fixture = std::make_unique<WindowFixture>(false);
            fixture->Open();  // the start-up chooser is cancelled: no working directory
        } else if (setup.startsWith("game:")) {
            fixture->WriteSettings({{"GtaDirectory", fixture->WorkDir()}});
            fixture->Open();
        }
        QVERIFY(setup == "none" || fixture->Load("Sfx1"));
        if (setup == "missing")
            QVERIFY(QDir(fixture->WorkDir()).removeRecursively());
        if (setup == "playing")
            QVERIFY(Window()->Play(fixture->Entry(0, 0)));
        Locks locks;
        if (setup == "locked") {
            WindowFixture::WriteText(SfxFolder() + "/Bank_001/locked.wav", "x");
            if (!locks.Lock(SfxFolder() + "/Bank_001/locked.wav") || !locks.Lock(SfxFolder() + "/Bank_001"))
                QSKIP("files cannot be locked against this user here");
            fixture->WriteSfxArchive("Sfx2", {{"a1.wav"}});
        }
        const QString outside = fixture->Elsewhere();
        if (setup.startsWith("links")) {
            for (const char *file : {"/deep/.hidden", "/.originals/a1.wav", "/.originals/b/b1.wav"})
                WindowFixture::WriteText(SfxFolder() + file, "x");
            WindowFixture::WriteText(fixture->WorkDir() + "/notes.txt", "mine");
            // Named like an archive of the tree, a link goes as a link; the user's own folder stays.
            WindowFixture::WriteText(outside + "/keep.txt", "keep");
            QVERIFY(QFile::link(outside, fixture->WorkDir() + "/Sfx2"));
            WindowFixture::WriteText(fixture->WorkDir() + "/mine/keep.txt", "mine");
        }
        fixture->dialogs.buttons.append({setup.endsWith("no") ? QMessageBox::No : QMessageBox::Yes, QMessageBox::Yes});
        const QStringList before = WindowFixture::Listing(fixture->WorkDir());

        Window()->ClearWorkingDirectory();

        locks.UnlockAll();
        QCOMPARE(Log(), log.replaceInStrings("%question%", Question()));
        QCOMPARE(WindowFixture::Listing(fixture->WorkDir()), left.isEmpty() ? before : left);
        QCOMPARE(fixture->Status() == "Working directory was cleared.", setup == "links");
        if (setup.endsWith("no")) {
            QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(fixture->dialogs.shown[0].defaultButton, setup == "no" ? QMessageBox::NoButton : QMessageBox::No);
            QVERIFY(fixture->Entries());
        } else if (setup == "locked") {
            QVERIFY(QFile::exists(SfxFolder() + "/Bank_001/locked.wav"));
        } else if (setup == "links") {
            QCOMPARE(WindowFixture::Listing(outside), QStringList{"keep.txt"});
            // The list is empty now, so there is nothing to play, search or save.
            QVERIFY(!fixture->Entries());
            Window()->SaveArchive();
            QCOMPARE(Log().size(), log.size());
        }
    }

    // Replace takes the current entry of several; marks follow the kept files,
    // also after a reload; revert and "Play original" use them, and neither moves a file that plays.
    void ChangesAreMarkedAndCanBeTakenBack()
    {
        QVERIFY(fixture->Load("Sfx1"));
        const QByteArray original = WindowFixture::ReadAll(SfxFolder() + "/a2.wav");
        const auto *count = Window()->findChild<QLabel *>("changedCount");
        Select(fixture->Entry(0, 1));
        const QString chosen = fixture->Elsewhere() + "/new.wav";
        WindowFixture::WriteWave(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7);
        fixture->dialogs.paths.enqueue(chosen);
        Window()->Replace();
        Select(fixture->Entry(1, 0));
        fixture->dialogs.paths.enqueue(fixture->Elsewhere() + "/new.wav");
        Window()->Replace();
        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/b1.wav"), WindowFixture::ReadAll(fixture->Elsewhere() + "/new.wav"));
        QVERIFY(fixture->Load("Sfx1"));
        const QModelIndex sound = fixture->Entry(0, 1);
        QVERIFY(sound.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!fixture->Entry(0, 0).data(Qt::FontRole).isValid());
        QCOMPARE(fixture->Entry(-1, 0).data().toString(), "Bank_001  (1 changed)");
        QCOMPARE(count->text(), "2 of 3 entries changed");

        fixture->EntryView()->setCurrentIndex(sound);
        Window()->PlayOriginal();
        QCOMPARE(fixture->Status(), "Playing original file " + SfxFolder() + "/.originals/a2.wav");
        QTest::keyClick(fixture->EntryView(), Qt::Key_A, Qt::ControlModifier);  // a bank stands for its sounds
        Window()->RevertToOriginal();
        QCOMPARE(Log().last(), "Warning: You can't revert the file, that is currently playing. "
                               "Please stop playing the file, before reverting it.");
        Window()->StopPlaying();
        Window()->RevertToOriginal();

        QCOMPARE(WindowFixture::ReadAll(SfxFolder() + "/a2.wav"), original);
        QVERIFY(!QFileInfo::exists(SfxFolder() + "/.originals"));
        QVERIFY(!fixture->Entry(0, 1).data(Qt::FontRole).isValid());
        QCOMPARE(count->text(), "0 of 3 entries changed");
        QCOMPARE(fixture->Status(), "2 entries were reverted to their originals.");
        Window()->RevertToOriginal();
        Window()->PlayOriginal();
        QCOMPARE(Log().mid(Log().size() - 2), (QStringList{"Note: The selected entries have not been changed.",
                                                           "Note: This entry has not been changed: its file is the original."}));
    }

    void ReplaceMatchesTheOriginalsLoudnessWhenAsked_data()
    {
        QTest::addColumn<bool>("bMatch");
        QTest::addColumn<int>("format");      // of the chosen file, 4 times as loud as the original
        QTest::addColumn<qint64>("loopStart");
        QTest::addColumn<QString>("note");
        QTest::addColumn<double>("peak");
        const int inForm = SF_FORMAT_WAV | SF_FORMAT_PCM_16, floats = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        const QString quieter = "12.0 dB quieter to match the original";
        QTest::newRow("on") << true << floats << qint64(-1) << quieter << 0.1;
        QTest::newRow("off") << false << floats << qint64(-1) << "" << 0.4;
        QTest::newRow("in the entry's form") << true << inForm << qint64(-1) << "" << 0.4;
        QTest::newRow("shorter than its loop start") << true << floats << qint64(5000)
                                                     << quieter + " \u00b7 loops from its start now" << 0.1;
    }
    void ReplaceMatchesTheOriginalsLoudnessWhenAsked()
    {
        QFETCH(bool, bMatch); QFETCH(int, format); QFETCH(qint64, loopStart); QFETCH(QString, note); QFETCH(double, peak);
        fixture->WriteSettings({{"MatchLoudness", bMatch}});
        fixture->Open();
        QVERIFY(LoopStarts(SfxFolder() + "/sfx_import.ini").Set(1, 1, loopStart).isNull());
        QVERIFY(fixture->Load("Sfx1"));
        const QList<QAction *> actions = Window()->findChildren<QAction *>();
        const auto matching = std::find_if(actions.cbegin(), actions.cend(), [](const QAction *action) {
            return action->text() == "Match &loudness of the original";
        });
        QVERIFY(matching != actions.cend() && (*matching)->isCheckable());
        QCOMPARE((*matching)->isChecked(), bMatch);
        const QString chosen = fixture->Elsewhere() + "/loud.wav";
        SF_INFO info{0, 22050, 1, format, 0, 0};
        SNDFILE *file = sf_open(QFile::encodeName(chosen).constData(), SFM_WRITE, &info);
        std::vector<float> samples(2205);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.4f * float(i % 50) / 50.0f;
        sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
        sf_close(file);

        Select(fixture->Entry(0, 0));
        fixture->dialogs.paths.enqueue(chosen);
        Window()->Replace();
        QCOMPARE(fixture->Status(), replaced);
        QCOMPARE(Window()->findChild<WaveformView *>()->Note(), note);
        const QString target = SfxFolder() + "/a1.wav";
        if (format == SF_FORMAT_WAV + SF_FORMAT_PCM_16)
            QCOMPARE(WindowFixture::ReadAll(target), WindowFixture::ReadAll(chosen));
        SF_INFO written{};
        file = sf_open(QFile::encodeName(target).constData(), SFM_READ, &written);
        std::vector<float> result(size_t(written.frames));
        sf_readf_float(file, result.data(), written.frames);
        sf_close(file);
        QVERIFY(std::abs(*std::max_element(result.cbegin(), result.cend()) - peak) < 0.01);
        QCOMPARE(LoopStarts(SfxFolder() + "/sfx_import.ini").Get(1, 1), std::optional<qint64>(loopStart == 5000 ? 0 : -1));
        (*matching)->trigger();
        Window()->close();
        QCOMPARE(QSettings("settings.ini", QSettings::IniFormat).value("MatchLoudness").toBool(), !bMatch);
    }

private:
    QString SfxFolder() const { return fixture->WorkDir() + "/Sfx1"; }
    MainWindow *Window() const { return fixture->Window(); }
    QStringList Log() const { return fixture->dialogs.Log(); }
    void Select(const QModelIndex &index) const
    {
        fixture->EntryView()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select);
    }
    QString Question() const
    {
        return "Warning: All files inside your working directory (" + fixture->WorkDir()
               + ") will be deleted.\nDo you want continue?";
    }

    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestMainWindowFiles)
#include "tst_MainWindowFiles.moc"
