#include "FakeKivoTools.h"
#include "FileLocks.h"
#include "WindowFixture.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tool/WaitDialog.h"

#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <functional>
#include <sys/file.h>

namespace
{
// Group 0 of the tree holds GENRL (SFX), group 1 AA (stream), group 2 an archive of unknown type.
const QByteArray configuration("Audio\n"
                               "  SFX\n"
                               "    GENRL\taudio/sfx/GENRL\tSfx\taudio/config/BankLkup.dat\n"
                               "  Streams\n"
                               "    AA\taudio/streams/AA\tstream\taudio/config/TrakLkup.dat\n"
                               "  Other\n"
                               "    ODD\taudio/odd/ODD\tWAV\taudio/config/BankLkup.dat\n");

const QByteArray sfxMetafile("[Archive]\nbasename=GENRL\nlookup_index=0\nnum_banks=1\n[Bank_001]\nnum_sounds=2\n"
                             "sound_001.filename=sound_001.wav\nsound_002.filename=sound_002.wav\n");

QByteArray StreamMetafile(const QByteArray &basename)
{
    return "[Stream]\nnum_tracks=2\nbasename=" + basename + "\nlookup_index=3\n"
           "[Track_001]\nfilename=track_001.ogg\n[Track_002]\nfilename=track_002.ogg\n";
}

QString MetafileName(int group)
{
    return group == 0 ? "sfx_import.ini" : "stream_import.ini";
}

QByteArray Metafile(int group)
{
    return group == 0 ? sfxMetafile : StreamMetafile("AA");
}
}

// Running the toolkit against stand-ins in the current directory: the callers on their own (with
// relative paths to game/bank.dat, game/a.sfx and work/A/sfx_import.ini), then opening archives
// from the tree and saving them back through the window.
class TestMainWindowLoading : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteBesideProgram("<Root/>\n", configuration);
        root = QDir::currentPath();
        work = fixture->WorkDir();
        game = fixture->GtaDir();
        for (const char *file : {"audio/config/BankLkup.dat", "audio/config/TrakLkup.dat", "audio/sfx/GENRL", "audio/streams/AA"})
            WindowFixture::WriteText(game + '/' + file, "old archive");
        for (const char *name : {"game/bank.dat", "game/a.sfx", "work/A/sfx_import.ini"})
            WindowFixture::WriteText(name, "");
        tools = std::make_unique<FakeKivoTools>(root);
    }

    void cleanup()
    {
        tools.reset();
        fixture.reset();
    }

    // Starts with every check failing and mends them one by one: each call reports the first alone.
    void CallerReportsOnlyTheFirstFailedCheck_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("checks");  // in the order the caller makes them
        QTest::newRow("sfx export") << "sfx export" << QStringList{"bank", "target", "program"};
        QTest::newRow("stream export") << "stream export" << QStringList{"program", "target"};
        QTest::newRow("import") << "sfx import" << QStringList{"program", "metafile", "bank"};
    }
    void CallerReportsOnlyTheFirstFailedCheck()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, checks);
        const QString program = operation.startsWith("sfx") ? "kivo_sfx.exe" : "kivo_stream.exe";
        const QMap<QString, QString> messages{{"program", program + " could not be found."},
                                              {"bank", "Bankfile \"game/nobank.dat\" could not be found."},
                                              {"target", "Targetdirectory doesn't exists."},
                                              {"metafile", "Metafile \"work/A/none.ini\" could not be found."}};
        QVERIFY(QFile::rename(program, "hidden.exe"));
        QStringList broken = checks;
        for (const QString &check : checks) {
            const QString bank = broken.contains("bank") ? "game/nobank.dat" : "game/bank.dat";
            const QString target = broken.contains("target") ? "game/a.sfx" : "work";  // a file is no folder
            const QString metafile = broken.contains("metafile") ? "work/A/none.ini" : "work/A/sfx_import.ini";
            fixture->dialogs.shown.clear();
            QVERIFY(!Call(operation, operation.endsWith("export") ? QStringList{"game/a.sfx", target, bank}
                                                                  : QStringList{"game/a.sfx.new", metafile, bank}));
            QCOMPARE(fixture->dialogs.Log(), QStringList{"Error: " + messages[check]});
            broken.removeOne(check);
            QVERIFY(check != "program" || QFile::rename("hidden.exe", program));
        }
        QVERIFY(tools->Runs().isEmpty());
    }

    // Exit code 0 alone is success: text on standard error then is warnings for the window to show.
    void CallerJudgesTheToolByItsExitCode_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<QString>("box");       // empty: success and no box
        QTest::addColumn<QString>("warnings");  // the caller's after the run
        QTest::newRow("success with warnings in UTF-8") << "stream export" << 0
            << QByteArray("Caf\xc3\xa9/Track_001.ogg was converted\nsecond line\r\n") << ""
            << QStringLiteral("Caf\u00e9/Track_001.ogg was converted\nsecond line");
        QTest::newRow("exit 2 with nothing on standard error") << "sfx import" << 2 << QByteArray()
                                                               << "Error: KIVO returned the following message:\n" << "";
    }
    void CallerJudgesTheToolByItsExitCode()
    {
        QFETCH(QString, operation);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, standardError);
        QFETCH(QString, box);
        QFETCH(QString, warnings);
        tools->SetExitCode(exitCode);
        tools->SetStandardError(standardError);

        // Succeeds although the folder is not on PATH: the tool is started where the check found it.
        QCOMPARE(CallWell(operation), box.isEmpty());

        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(lastWarnings, warnings);
        QCOMPARE(tools->Runs().size(), 1);
    }

    // An aborted tool is killed without a message; one that cannot start is reported before any
    // wait dialog comes up, which would wait for it for ever.
    void CallerEndsAbortedOrUnstartableTool_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("tool");      // "hangs": runs until killed; else why it cannot start
        QTest::addColumn<bool>("bEscape");      // the dialog is left by Escape rather than "&Abort"
        QTest::addColumn<QString>("title");     // of the wait dialog; empty: none may come up
        QTest::newRow("sfx export aborted") << "sfx export" << "hangs" << false << "Exporting SFX-archive...";
        QTest::newRow("stream import, Escape") << "stream import" << "hangs" << true << "Importing Stream-archive...";
        QTest::newRow("sfx export, no run bit") << "sfx export" << "no run bit" << false << "";
        QTest::newRow("stream import, not a program") << "stream import" << "not a program" << false << "";
    }
    void CallerEndsAbortedOrUnstartableTool()
    {
        QFETCH(QString, operation);
        QFETCH(QString, tool);
        QFETCH(bool, bEscape);
        QFETCH(QString, title);
        const QString program = operation.startsWith("sfx") ? "kivo_sfx.exe" : "kivo_stream.exe";
        const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner;
        if (tool == "hangs")
            tools->SetRunsUntilKilled();
        else
            QVERIFY(FakeKivoTools::WriteTool(program, tool == "no run bit" ? "#!/bin/sh\nexit 0\n" : "this is no program\n",
                                             tool == "no run bit" ? readWrite : readWrite | QFile::ExeOwner));
        // Only a tool that has surely started shows that the abort ends it.
        QStringList titles;
        const auto driver = Driver(bEscape, titles, [&] { return tool != "hangs" || !tools->Runs().isEmpty(); });

        QVERIFY(!CallWell(operation));

        QCOMPARE(titles, title.isEmpty() ? QStringList() : QStringList{title});
        QCOMPARE(fixture->dialogs.Log(), title.isEmpty() ? QStringList{"Error: " + program + " could not be started."}
                                                         : QStringList());
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), title.isEmpty() ? 0 : 1);
        if (!runs.isEmpty())
            QVERIFY(runs[0].pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(runs[0].pid)));
    }

    void LoadsByExportOrFromAnEarlierUnpacking_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("arguments");  // of the export; empty: the tool is not run

        const QStringList sfx{"-e", "%game%/audio/sfx/GENRL", "%work%", "%game%/audio/config/BankLkup.dat"};
        const QStringList stream{"-e", "%game%/audio/streams/AA", "%work%"};
        const QStringList names{"-r", "%game%/audio/streams/AA", "%work%", QCoreApplication::applicationDirPath() + "/metadata-full.ini"};
        const QStringList earlier{"Load existing files: The archiv, that you want to export, already exist in your working "
                                  "directory.\nDo you want load the existing archiv from your working directory?"};
        // Without an earlier unpacking nothing is asked.
        QTest::newRow("stream without station names") << 1 << "" << QStringList() << stream;
        QTest::newRow("stream with station names") << 1 << "station names" << QStringList() << names;
        QTest::newRow("sfx, earlier one reused") << 0 << "earlier, yes" << earlier << QStringList();
        QTest::newRow("sfx, earlier one unpacked again") << 0 << "earlier, no" << earlier << sfx;
        // The list is looked for where the export went, not in the working directory that was missing.
        QTest::newRow("sfx, working directory chosen on the way") << 0 << "no working directory"
            << QStringList{"Workingdirectory: No working directory was defined or the old one wasn't found.\n"
                           "Please choose a new directory.", "chooser: Select a working directory"}
            << QStringList(sfx).replaceInStrings("%work%", "%root%/chosen");
    }
    void LoadsByExportOrFromAnEarlierUnpacking()
    {
        QFETCH(int, group);
        QFETCH(QString, setup);
        QFETCH(QStringList, log);
        QFETCH(QStringList, arguments);
        CreateWindow(setup == "station names");
        tools->SetExport(Node(group, 0).data().toString(), MetafileName(group), Metafile(group));
        if (setup.startsWith("earlier")) {
            // The earlier unpacking lists one entry less than the tool writes now, to tell them apart.
            WindowFixture::WriteText(MetafilePath(group), Metafile(group).replace("=2\n", "=1\n"));
            fixture->dialogs.buttons.enqueue(setup.endsWith("yes") ? QMessageBox::Yes : QMessageBox::No);
        }
        if (setup == "no working directory") {
            QVERIFY(QDir(work).removeRecursively() && QDir().mkpath(root + "/chosen"));
            fixture->dialogs.paths.enqueue(root + "/chosen");
        }

        window->SoundFileSelected(Node(group, 0));

        QCOMPARE(fixture->dialogs.Log(), log);
        if (setup.startsWith("earlier"))
            QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), arguments.isEmpty() ? 0 : 1);
        if (!arguments.isEmpty()) {
            QCOMPARE(runs[0].arguments, arguments.replaceInStrings("%game%", game).replaceInStrings("%work%", work)
                                            .replaceInStrings("%root%", root));
            QCOMPARE(runs[0].workingDirectory, root);
        }
        QVERIFY(window->ContentAvailable());
        QCOMPARE(fixture->Entries()->rowCount(group == 0 ? fixture->Entries()->index(0, 0) : QModelIndex()), arguments.isEmpty() ? 1 : 2);
        // The loaded archive is marked, and only it.
        QVERIFY(Marked(group, 0));
        QVERIFY(!Marked(1 - group, 0));
    }

    void LoadsNothingWhenTheExportGivesNoList_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("leaf");  // -1: the group's own node
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("metafileText");  // null: the tool writes none
        QTest::addColumn<QString>("box");

        QTest::newRow("tool fails") << 0 << 0 << 1 << sfxMetafile << "Error: KIVO returned the following message:\nno such archive";
        QTest::newRow("malformed metafile") << 0 << 0 << 0 << QByteArray("[Archiv]\nbasename=GENRL\n")
                                            << "Error: Invalid ini-fileformat.";
        QTest::newRow("archive of unknown type, the tool not run") << 2 << 0 << 0 << QByteArray()
            << "Error: Invalid soundtype was found in your configuration (only valid types are \"SFX\" and \"STREAM\").";
        // A folder node only empties the list; the mark stays on the archive that Save would pack.
        QTest::newRow("folder node") << 2 << -1 << 0 << QByteArray() << "";
    }
    void LoadsNothingWhenTheExportGivesNoList()
    {
        QFETCH(int, group);
        QFETCH(int, leaf);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, metafileText);
        QFETCH(QString, box);
        CreateWindow();
        QVERIFY(LoadExisting(1));
        tools->SetExitCode(exitCode);
        tools->SetStandardError(exitCode ? "no such archive" : "");
        if (!metafileText.isNull())
            tools->SetExport("GENRL", MetafileName(0), metafileText);

        window->SoundFileSelected(Node(group, leaf));
        window->SaveArchive();  // the list is gone: nothing to save

        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(tools->Runs().size(), group == 2 ? 0 : 1);
        // The list of the archive opened before is gone, and nothing took its place.
        QVERIFY(!fixture->Entries());
        QVERIFY(!window->ContentAvailable());
        QCOMPARE(Marked(group, leaf), leaf >= 0);
        QCOMPARE(Marked(1, 0), leaf < 0);
    }

    void SavesBackOrKeepsTheOldArchive_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("obstacle");  // empty: none
        QTest::addColumn<QString>("box");       // empty: none
        QTest::addColumn<QStringList>("left");  // in the archive's game folder afterwards

        const QString noRemove = "Error: Failed to remove old sound archive (%archive%)";
        const QStringList both{"GENRL", "GENRL.new"};
        QTest::newRow("sfx") << 0 << "" << "" << QStringList{"GENRL"};
        QTest::newRow("stream") << 1 << "" << "" << QStringList{"AA"};
        // Another archive unpacked into the folder since it was loaded: its tracks must not go into AA.
        QTest::newRow("folder now holds another archive") << 1 << "metafile of BB"
            << "Error: The folder \"%work%/AA\" holds the archive BB, not AA.\nTwo archives may share a station name "
               "in metadata-full.ini: give them different names, or clear the working directory."
            << QStringList{"AA"};
        QTest::newRow("locked old archive") << 0 << "locked" << noRemove << both;
        QTest::newRow("folder at the archive's path") << 0 << "folder" << noRemove << both;
        QTest::newRow("tool leaves no new archive") << 0 << "no new archive" << "Error: Failed to move new sound archive."
                                                    << QStringList{"GENRL"};
        QTest::newRow("another save holds the lock") << 0 << "lock"
            << "Error: Another save is writing %lookup%. Try again when it has finished." << QStringList{"GENRL"};
    }
    void SavesBackOrKeepsTheOldArchive()
    {
        QFETCH(int, group);
        QFETCH(QString, obstacle);
        QFETCH(QString, box);
        QFETCH(QStringList, left);
        const bool bSfx = group == 0;
        const QString archivePath = game + (bSfx ? "/audio/sfx/GENRL" : "/audio/streams/AA");
        const QString lookupPath = game + (bSfx ? "/audio/config/BankLkup.dat" : "/audio/config/TrakLkup.dat");
        Locks locks;
        QFile lock;
        const auto unlock = qScopeGuard([] { qunsetenv("KIVO_TEST_LOCK_WAIT_MS"); });
        CreateWindow();
        QVERIFY(LoadExisting(group));
        if (obstacle == "metafile of BB") {
            WindowFixture::WriteText(MetafilePath(group), StreamMetafile("BB"));
        } else if (obstacle == "locked" && !locks.Lock(archivePath)) {
            QSKIP("files cannot be locked against this user here");
        } else if (obstacle == "folder") {
            QVERIFY(QFile::remove(archivePath));
            WindowFixture::WriteText(archivePath + "/inside", "old archive");
        } else if (obstacle == "lock") {
            qputenv("KIVO_TEST_LOCK_WAIT_MS", "200");
            lock.setFileName(lookupPath + ".lock");
            QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
        } else if (obstacle == "no new archive") {
            tools->SetWritesNoArchive();
        }
        WindowFixture::WriteText(lookupPath + ".bak", "save before");
        const QString statusBefore = fixture->Status();

        window->SaveArchive();

        locks.UnlockAll();
        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList()
                                                       : QStringList{box.replace("%archive%", archivePath).replace("%work%", work)
                                                                         .replace("%lookup%", lookupPath)});
        // Without a failure exactly one file is left: no new archive and no kept copy of the old one.
        QCOMPARE(WindowFixture::Listing(QFileInfo(archivePath).path()), left);
        if (box.isEmpty()) {
            const auto runs = tools->Runs();
            QCOMPARE(runs.size(), 1);
            QCOMPARE(runs[0].program, bSfx ? "kivo_sfx.exe" : "kivo_stream.exe");
            QCOMPARE(runs[0].arguments, (QStringList{"-i", archivePath + ".new", MetafilePath(group), lookupPath}));
            QCOMPARE(runs[0].workingDirectory, QFileInfo(MetafilePath(group)).path());
            QCOMPARE(WindowFixture::ReadAll(archivePath), QByteArray("new archive"));
            QCOMPARE(fixture->Status(), bSfx ? "Save was successfull." : "Save was successfull");
            return;
        }
        QCOMPARE(fixture->dialogs.shown[0].pParent, window);
        QCOMPARE(WindowFixture::ReadAll(obstacle == "folder" ? archivePath + "/inside" : archivePath), QByteArray("old archive"));
        // A failed save leaves the game's records, and the backup of the save before, as they were.
        QCOMPARE(WindowFixture::ReadAll(lookupPath), QByteArray("old archive"));
        QCOMPARE(WindowFixture::ReadAll(lookupPath + ".bak"), QByteArray("save before"));
        QCOMPARE(fixture->Status(), statusBefore);
    }

private:
    // Plays the user at each wait dialog once bReady says so: notes its title, then presses "&Abort" or Escape.
    static std::unique_ptr<QTimer> Driver(bool bEscape, QStringList &titles, std::function<bool()> bReady)
    {
        auto timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [&titles, bEscape, bReady, seen = QPointer<QWidget>()]() mutable {
            auto *dialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog == seen || !bReady())
                return;
            seen = dialog;
            titles << dialog->windowTitle();
            bEscape ? QTest::keyClick(dialog, Qt::Key_Escape) : dialog->findChild<QPushButton *>()->click();
        });
        timer->start(20);
        return timer;
    }
    // Exports take archive, target, bank or station file; imports new archive, metafile, bank file.
    bool Call(const QString &operation, const QStringList &v)
    {
        KivoSfxProcessCaller sfx;
        KivoStreamProcessCaller stream;
        const bool bResult = operation == "sfx export"    ? sfx.ExportArchive({v[0]}, v[1], v[2])
                           : operation == "stream export" ? stream.ExportArchive({v[0]}, v[1], v[2])
                           : operation == "sfx import"    ? sfx.ImportArchive(v[0], v[1], v[2])
                                                          : stream.ImportArchive(v[0], v[1], v[2]);
        lastWarnings = operation.startsWith("sfx") ? sfx.Warnings() : stream.Warnings();
        return bResult;
    }
    // Inputs that pass every check.
    bool CallWell(const QString &operation)
    {
        return Call(operation, operation.endsWith("export")
                                   ? QStringList{"game/a.sfx", "work", "game/bank.dat"}
                                   // an import runs in the metafile's folder
                                   : QStringList{root + "/game/a.sfx.new", root + "/work/A/sfx_import.ini", root + "/game/bank.dat"});
    }
    void CreateWindow(bool bUseKivoMetadata = false)
    {
        fixture->WriteSettings({{"UseKivoMetadata", bUseKivoMetadata}});
        window = fixture->Open();
    }
    // leaf -1: the group itself
    QModelIndex Node(int group, int leaf = -1) const
    {
        const QAbstractItemModel *model = fixture->ArchiveView()->model();
        const QModelIndex groupIndex = model->index(group, 0, model->index(0, 0));
        return leaf < 0 ? groupIndex : model->index(leaf, 0, groupIndex);
    }
    bool Marked(int group, int leaf = -1) const { return Node(group, leaf).data(Qt::ForegroundRole).isValid(); }
    QString MetafilePath(int group) const { return work + '/' + Node(group, 0).data().toString() + '/' + MetafileName(group); }
    // Loads GENRL or AA from an earlier unpacking in the working directory without running the tool.
    bool LoadExisting(int group)
    {
        WindowFixture::WriteText(MetafilePath(group), Metafile(group));
        fixture->dialogs.buttons.enqueue(QMessageBox::Yes);
        window->SoundFileSelected(Node(group, 0));
        const bool loaded = fixture->Entries() && tools->Runs().isEmpty() && fixture->dialogs.shown.size() == 1;
        fixture->dialogs.shown.clear();
        return loaded;
    }

    std::unique_ptr<WindowFixture> fixture;
    std::unique_ptr<FakeKivoTools> tools;
    MainWindow *window = nullptr;
    QString root, work, game;
    QString lastWarnings;
};

QTEST_MAIN(TestMainWindowLoading)
#include "tst_MainWindowLoading.moc"
