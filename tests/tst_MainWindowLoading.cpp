#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <sys/file.h>
#include <unistd.h>

#include "FakeKivoTools.h"
#include "WindowFixture.h"

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

bool Chattr(const char *flag, const QString &path)
{
    return !QStandardPaths::findExecutable("chattr").isEmpty() && QProcess::execute("chattr", {flag, path}) == 0;
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
        // Whatever a test locked must be unlocked again, or the folder cannot be removed.
        for (const QString &name : WindowFixture::Listing(game + "/audio/sfx"))
            Chattr("-i", game + "/audio/sfx/" + name);
        fixture.reset();
    }

    void LoadsByExportOrFromAnEarlierUnpacking_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("bUseKivoMetadata");
        QTest::addColumn<int>("earlier");            // the answer about an earlier unpacking; 0: there is none
        QTest::addColumn<QStringList>("arguments");  // of the export; empty: the tool is not run

        const QStringList sfx{"-e", "%game%/audio/sfx/GENRL", "%work%", "%game%/audio/config/BankLkup.dat"};
        const QStringList stream{"-e", "%game%/audio/streams/AA", "%work%"};
        const QStringList names{"-r", "%game%/audio/streams/AA", "%work%", QCoreApplication::applicationDirPath() + "/metadata-full.ini"};
        // Without an earlier unpacking nothing is asked.
        QTest::newRow("stream without station names") << 1 << false << 0 << stream;
        QTest::newRow("stream with station names") << 1 << true << 0 << names;
        QTest::newRow("sfx, earlier one reused") << 0 << false << int(QMessageBox::Yes) << QStringList();
        QTest::newRow("sfx, earlier one unpacked again") << 0 << false << int(QMessageBox::No) << sfx;
    }
    void LoadsByExportOrFromAnEarlierUnpacking()
    {
        QFETCH(int, group);
        QFETCH(bool, bUseKivoMetadata);
        QFETCH(int, earlier);
        QFETCH(QStringList, arguments);
        CreateWindow(bUseKivoMetadata);
        tools->SetExport(Node(group, 0).data().toString(), MetafileName(group), Metafile(group));
        if (earlier) {
            // The earlier unpacking lists one entry less than the tool writes now, to tell them apart.
            WindowFixture::WriteText(MetafilePath(group), Metafile(group).replace("=2\n", "=1\n"));
            fixture->dialogs.buttons.enqueue(QMessageBox::StandardButton(earlier));
        }

        window->SoundFileSelected(Node(group, 0));

        QCOMPARE(fixture->dialogs.Log(), earlier ? QStringList{"Load existing files: The archiv, that you want to export, "
                                                               "already exist in your working directory.\nDo you want load "
                                                               "the existing archiv from your working directory?"}
                                                 : QStringList());
        if (earlier)
            QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), arguments.isEmpty() ? 0 : 1);
        if (!arguments.isEmpty()) {
            QCOMPARE(runs[0].arguments, arguments.replaceInStrings("%game%", game).replaceInStrings("%work%", work));
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
        QTest::newRow("no metafile after success") << 0 << 0 << 0 << QByteArray()
            << "Error: No sfx_import.ini was found in \"%work%/GENRL\" after unpacking.\nThe archive's name in "
               "configuration.ini must be its file name (or its station name).";
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
        QVERIFY(LoadExisting(1, Metafile(1)));
        tools->SetExitCode(exitCode);
        tools->SetStandardError(exitCode ? "no such archive" : "");
        if (!metafileText.isNull())
            tools->SetExport("GENRL", MetafileName(0), metafileText);

        window->SoundFileSelected(Node(group, leaf));
        window->SaveArchive();  // the list is gone: nothing to save

        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList() : QStringList{box.replace("%work%", work)});
        QCOMPARE(tools->Runs().size(), group == 2 ? 0 : 1);
        // The list of the archive opened before is gone, and nothing took its place.
        QVERIFY(!fixture->Entries());
        QVERIFY(!window->ContentAvailable());
        QCOMPARE(Marked(group, leaf), leaf >= 0);
        QCOMPARE(Marked(1, 0), leaf < 0);
    }

    void LooksForTheListWhereTheExportWentAfterChoosingAFolder()
    {
        CreateWindow();
        QVERIFY(QDir(work).removeRecursively());
        const QString chosen = root + "/chosen";
        QVERIFY(QDir().mkpath(chosen));
        fixture->dialogs.paths.enqueue(chosen);
        tools->SetExport("GENRL", MetafileName(0), sfxMetafile);

        window->SoundFileSelected(Node(0, 0));

        QCOMPARE(fixture->dialogs.Log(), (QStringList{"Workingdirectory: No working directory was defined or the old one wasn't "
                                              "found.\nPlease choose a new directory.",
                                              "chooser: Select a working directory"}));
        const auto runs = tools->Runs();
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].arguments.value(2), chosen);
        QVERIFY(fixture->Entries());
        QCOMPARE(fixture->Entries()->rowCount(), 1);
    }

    void SavesBackOrKeepsTheOldArchive_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("folder");    // the one the list names
        QTest::addColumn<QString>("obstacle");  // empty: none
        QTest::addColumn<QString>("box");       // empty: none
        QTest::addColumn<QStringList>("left");  // in the archive's game folder afterwards

        const QString noRemove = "Error: Failed to remove old sound archive (%archive%)";
        const QString noMove = "Error: Failed to move new sound archive.";
        const QStringList both{"GENRL", "GENRL.new"};
        QTest::newRow("sfx") << 0 << "GENRL" << "" << "" << QStringList{"GENRL"};
        QTest::newRow("stream") << 1 << "AA" << "" << "" << QStringList{"AA"};
        // Another archive unpacked into the folder since it was loaded: its tracks must not go into AA.
        QTest::newRow("folder now holds another archive") << 1 << "AA" << "metafile of BB"
            << "Error: The folder \"%work%/AA\" holds the archive BB, not AA.\nTwo archives may share a station name "
               "in metadata-full.ini: give them different names, or clear the working directory."
            << QStringList{"AA"};
        QTest::newRow("immutable old archive") << 0 << "GENRL" << "immutable" << noRemove << both;
        QTest::newRow("read-only old archive") << 0 << "GENRL" << "read-only file" << noRemove << both;
        QTest::newRow("folder at the archive's path") << 0 << "GENRL" << "folder" << noRemove << both;
        QTest::newRow("tool leaves no new archive") << 0 << "GENRL" << "no new archive" << noMove << QStringList{"GENRL"};
        QTest::newRow("new archive cannot be renamed") << 0 << "GENRL" << "immutable new archive" << noMove << both;
        QTest::newRow("another save holds the lock") << 0 << "GENRL" << "lock"
            << "Error: Another save is writing %lookup%. Try again when it has finished." << QStringList{"GENRL"};
    }
    void SavesBackOrKeepsTheOldArchive()
    {
        QFETCH(int, group);
        QFETCH(QString, folder);
        QFETCH(QString, obstacle);
        QFETCH(QString, box);
        QFETCH(QStringList, left);
        // Root ignores permission bits; only the immutable attribute and a folder stop it.
        if (obstacle.startsWith("read-only") && geteuid() == 0)
            QSKIP("root may take away read-only files");
        // The immutable attribute stops even root from renaming a file, where the file system has it.
        const QString probe = root + "/immutable-probe";
        if (obstacle.startsWith("immutable") && !(QFile(probe).open(QIODevice::WriteOnly) && Chattr("+i", probe) && Chattr("-i", probe)))
            QSKIP("no immutable attribute here");
        const bool bSfx = group == 0;
        const QString archivePath = game + (bSfx ? "/audio/sfx/GENRL" : "/audio/streams/AA");
        const QByteArray text = bSfx ? sfxMetafile : StreamMetafile(folder.toLatin1());
        QFile lock;
        const auto unlock = qScopeGuard([] { qunsetenv("KIVO_TEST_LOCK_WAIT_MS"); });
        CreateWindow();
        QVERIFY(LoadExisting(group, text));
        const QString metafile = MetafilePath(group, folder);
        if (obstacle == "metafile of BB") {
            WindowFixture::WriteText(metafile, StreamMetafile("BB"));
        } else if (obstacle == "immutable") {
            QVERIFY(Chattr("+i", archivePath));
        } else if (obstacle == "read-only file") {
            QVERIFY(QFile::setPermissions(archivePath, QFile::ReadOwner));
        } else if (obstacle == "folder") {
            QVERIFY(QFile::remove(archivePath));
            WindowFixture::WriteText(archivePath + "/inside", "old archive");
        } else if (obstacle == "lock") {
            qputenv("KIVO_TEST_LOCK_WAIT_MS", "200");
            lock.setFileName(game + "/audio/config/BankLkup.dat.lock");
            QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
        } else if (obstacle == "no new archive") {
            tools->SetWritesNoArchive();
        } else if (!obstacle.isEmpty()) {
            tools->SetMakesArchiveImmutable();
        }
        const QString lookupPath = game + (bSfx ? "/audio/config/BankLkup.dat" : "/audio/config/TrakLkup.dat");
        WindowFixture::WriteText(lookupPath + ".bak", "save before");
        const QString statusBefore = fixture->Status();

        window->SaveArchive();

        QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? QStringList()
                                                       : QStringList{box.replace("%archive%", archivePath).replace("%work%", work)
                                                                         .replace("%lookup%", lookupPath)});
        // Without a failure exactly one file is left: no new archive and no kept copy of the old one.
        QCOMPARE(WindowFixture::Listing(QFileInfo(archivePath).path()), left);
        if (box.isEmpty()) {
            const auto runs = tools->Runs();
            QCOMPARE(runs.size(), 1);
            QCOMPARE(runs[0].program, bSfx ? "kivo_sfx.exe" : "kivo_stream.exe");
            QCOMPARE(runs[0].arguments, (QStringList{"-i", archivePath + ".new", metafile, lookupPath}));
            QCOMPARE(runs[0].workingDirectory, work + '/' + folder);
            QCOMPARE(WindowFixture::ReadAll(archivePath), QByteArray("new archive"));
            QCOMPARE(fixture->Status(), bSfx ? "Save was successfull." : "Save was successfull");
            return;
        }
        QCOMPARE(fixture->dialogs.shown[0].pParent, window);
        QCOMPARE(WindowFixture::ReadAll(obstacle == "folder" ? archivePath + "/inside" : archivePath), QByteArray("old archive"));
        // A failed save leaves the game's records, and the backup of the save before, as they were.
        QCOMPARE(WindowFixture::ReadAll(lookupPath), QByteArray("old archive"));
        QCOMPARE(WindowFixture::ReadAll(lookupPath + ".bak"), QByteArray("save before"));
        if (left.contains("GENRL.new"))
            QCOMPARE(WindowFixture::ReadAll(archivePath + ".new"), QByteArray("new archive"));
        QCOMPARE(fixture->Status(), statusBefore);
    }

private:
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
    QString MetafilePath(int group, const QString &folder = QString()) const
    {
        return work + '/' + (folder.isNull() ? Node(group, 0).data().toString() : folder) + '/' + MetafileName(group);
    }
    // Loads GENRL or AA from an earlier unpacking in the working directory without running the tool.
    bool LoadExisting(int group, const QByteArray &text)
    {
        WindowFixture::WriteText(MetafilePath(group), text);
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
