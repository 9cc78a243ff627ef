#include "FakeKivoTools.h"
#include "FileLocks.h"
#include "WindowFixture.h"
#include "tool/WaitDialog.h"

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

// Opening archives from the tree and saving them back, with stand-in tools in the current directory.
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
        tools = std::make_unique<FakeKivoTools>(root);
    }

    void cleanup()
    {
        tools.reset();
        fixture.reset();
    }

    // Whatever stops the export, the list opened before goes and nothing takes its place. The tool
    // is judged by its exit code alone; one aborted in its wait dialog is killed without a word.
    void OpensTheArchiveOfATreeNode_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("leaf");         // -1: the group's own node
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("log");  // %game%: the game folder
        QTest::addColumn<QString>("title");    // of the wait dialog, where the user ends the tool
        QTest::addColumn<bool>("bRuns");       // the tool is started
        QTest::addColumn<int>("sounds");       // in the first bank of the list then shown; -1: none is

        const QStringList earlier{"Load existing files: The archiv, that you want to export, already exist in your working "
                                  "directory.\nDo you want load the existing archiv from your working directory?"};
        // Reusing it is what LoadExisting() does before every test.
        QTest::newRow("earlier unpacking unpacked again") << 0 << 0 << "earlier" << earlier << "" << true << 2;
        // Unpacking again would lose the replaced entries: only a second Yes lets it.
        const QStringList replaced = earlier + QStringList{"Warning: 2 entries of GENRL were replaced in the working "
                                                           "directory and are lost when it is unpacked again. Unpack it again anyway?"};
        QTest::newRow("replaced entries kept") << 0 << 0 << "replaced:no" << replaced << "" << false << -1;
        QTest::newRow("replaced entries unpacked again") << 0 << 0 << "replaced:yes" << replaced << "" << true << 2;
        // The list is looked for where the export went, not in the working directory that was missing.
        QTest::newRow("working directory chosen on the way") << 0 << 0 << "no working directory"
            << QStringList{"Workingdirectory: No working directory was defined or the old one wasn't found.\n"
                           "Please choose a new directory.", "chooser: Select a working directory"} << "" << true << 2;
        QTest::newRow("tool fails") << 0 << 0 << "exit 2"
            << QStringList{"Error: KIVO returned the following message:\nno such archive"} << "" << true << -1;
        QTest::newRow("no metafile after success") << 0 << 0 << "no metafile"
            << QStringList{"Error: No sfx_import.ini was found in \"%work%/GENRL\" after unpacking.\nThe archive's name in "
                           "configuration.ini must be its file name (or its station name)."} << "" << true << -1;
        QTest::newRow("malformed metafile") << 0 << 0 << "malformed" << QStringList{"Error: Invalid ini-fileformat."} << ""
                                            << true << -1;
        QTest::newRow("archive of unknown type") << 2 << 0 << "" << QStringList{"Error: Invalid soundtype was found in "
            "your configuration (only valid types are \"SFX\" and \"STREAM\")."} << "" << false << -1;
        // A folder node only empties the list; the mark stays on the archive that Save would pack.
        QTest::newRow("folder node") << 2 << -1 << "" << QStringList() << "" << false << -1;
        QTest::newRow("bank file missing") << 0 << 0 << "no bank"
            << QStringList{"Error: Bankfile \"%game%/audio/config/BankLkup.dat\" could not be found."} << "" << false << -1;
        QTest::newRow("tool missing") << 0 << 0 << "no tool" << QStringList{"Error: kivo_sfx.exe could not be found."} << ""
                                      << false << -1;
        // Reported before a wait dialog comes up, which would wait for it for ever.
        QTest::newRow("tool without run bit") << 0 << 0 << "no run bit" << QStringList{"Error: kivo_sfx.exe could not be started."}
                                              << "" << false << -1;
        QTest::newRow("aborted") << 0 << 0 << "abort" << QStringList() << "Exporting SFX-archive..." << true << -1;
        QTest::newRow("closed by Escape") << 1 << 0 << "escape" << QStringList() << "Exporting Stream-archive..." << true << -1;
    }
    void OpensTheArchiveOfATreeNode()
    {
        QFETCH(int, group);
        QFETCH(int, leaf);
        QFETCH(QString, setup);
        QFETCH(QStringList, log);
        QFETCH(QString, title);
        QFETCH(bool, bRuns);
        QFETCH(int, sounds);
        window = fixture->Open();
        QVERIFY(LoadExisting(1));
        QVERIFY(QFile::remove(MetafilePath(1)));  // else the stream archive is offered from its earlier unpacking
        tools->SetExport(Node(group, 0).data().toString(), setup == "no metafile" ? "elsewhere.ini" : MetafileName(group),
                         setup == "malformed" ? QByteArray("[Archiv]\nbasename=GENRL\n") : Metafile(group));
        QString target = work;
        if (setup == "earlier" || setup.startsWith("replaced")) {
            // The earlier unpacking lists one entry less than the tool writes now, to tell them apart.
            WindowFixture::WriteText(MetafilePath(group), Metafile(group).replace("=2\n", "=1\n"));
            fixture->dialogs.buttons.enqueue(QMessageBox::No);
            if (setup.startsWith("replaced")) {
                for (const char *file : {"/.originals/sound_001.wav", "/.originals/Bank_001/sound_002.wav"})
                    WindowFixture::WriteText(work + "/GENRL" + file, "kept");
                fixture->dialogs.buttons.enqueue(setup == "replaced:yes" ? QMessageBox::Yes : QMessageBox::No);
            }
        } else if (setup == "no working directory") {
            target = root + "/chosen";
            QVERIFY(QDir(work).removeRecursively() && QDir().mkpath(target));
            fixture->dialogs.paths.enqueue(target);
        } else if (setup == "exit 2") {
            tools->SetExitCode(2);
            tools->SetStandardError("no such archive");
        } else if (setup == "no bank") {
            QVERIFY(QFile::remove(game + "/audio/config/BankLkup.dat"));
        } else if (setup == "no tool") {
            QVERIFY(QFile::remove("kivo_sfx.exe"));
        } else if (setup == "no run bit") {
            QVERIFY(FakeKivoTools::WriteTool("kivo_sfx.exe", "#!/bin/sh\nexit 0\n", QFile::ReadOwner | QFile::WriteOwner));
        } else if (!title.isEmpty()) {
            tools->SetRunsUntilKilled();
        }
        // Only a tool that has surely started shows that the abort ends it. A dialog for one that
        // cannot start is closed, so that the failure shows rather than a hang.
        QStringList titles;
        const auto driver = Driver(setup == "escape", titles, [&] {
            return setup == "no run bit" || (!title.isEmpty() && !tools->Runs().isEmpty());
        });

        window->SoundFileSelected(Node(group, leaf));
        if (sounds < 0)
            window->SaveArchive();  // the list is gone: nothing to save

        QCOMPARE(fixture->dialogs.Log(), log.replaceInStrings("%game%", game).replaceInStrings("%work%", work));
        if (setup == "earlier")
            QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        if (setup.startsWith("replaced")) {
            QCOMPARE(fixture->dialogs.shown[1].defaultButton, QMessageBox::No);
            QCOMPARE(QFile::exists(work + "/GENRL/.originals/sound_001.wav"), setup == "replaced:no");
        }
        QCOMPARE(titles, title.isEmpty() ? QStringList() : QStringList{title});
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), bRuns ? 1 : 0);
        if (bRuns && sounds > 0)
            QCOMPARE(runs[0].arguments, (QStringList{"-e", game + "/audio/sfx/GENRL", target, game + "/audio/config/BankLkup.dat"}));
        if (!title.isEmpty())
            QVERIFY(runs[0].pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(runs[0].pid)));
        QCOMPARE(fixture->Entries() ? fixture->Entries()->rowCount(fixture->Entries()->index(0, 0)) : -1, sounds);
        // The archive loaded last is marked, and only it.
        QCOMPARE(Marked(group, leaf), leaf >= 0);
        QCOMPARE(Marked(1, 0), leaf < 0 || group == 1);
    }

    void SavesBackOrKeepsTheOldArchive_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("obstacle");  // empty: none
        QTest::addColumn<QString>("box");       // empty: none
        QTest::addColumn<QStringList>("left");  // in the archive's game folder afterwards

        const QString noRemove = "Error: Failed to remove old sound archive (%archive%)";
        const QStringList both{"GENRL", "GENRL.new"};
        // Warnings on standard error come with a success, in UTF-8.
        QTest::newRow("stream, with warnings") << 1 << "warnings" << QStringLiteral("Warning: KIVO reported the following "
                                                   "warnings:\nCaf\u00e9/Track_001.ogg was converted") << QStringList{"AA"};
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
        window = fixture->Open();
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
        } else if (obstacle == "warnings") {
            tools->SetStandardError("Caf\xc3\xa9/Track_001.ogg was converted\r\n");
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
        if (!box.startsWith("Error")) {
            const auto runs = tools->Runs();
            QCOMPARE(runs.size(), 1);
            QCOMPARE(runs[0].program, bSfx ? "kivo_sfx.exe" : "kivo_stream.exe");
            QCOMPARE(runs[0].arguments, (QStringList{"-i", archivePath + ".new", MetafilePath(group), lookupPath}));
            QCOMPARE(runs[0].workingDirectory, QFileInfo(MetafilePath(group)).path());
            QCOMPARE(WindowFixture::ReadAll(archivePath), QByteArray("new archive"));
            QCOMPARE(fixture->Status(), bSfx ? "Save was successfull." : "Save was successfull");
            return;
        }
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
};

QTEST_MAIN(TestMainWindowLoading)
#include "tst_MainWindowLoading.moc"
