#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <unistd.h>

#include "FakeKivoTools.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"

namespace
{
const QByteArray configuration(
    "Audio\n"
    "  SFX\n"
    "    GENRL\taudio/sfx/GENRL\tSfx\taudio/config/BankLkup.dat\n"
    "  Streams\n"
    "    AA\taudio/streams/AA\tstream\taudio/config/TrakLkup.dat\n"
    "  Other\n"
    "    ODD\taudio/odd/ODD\tWAV\taudio/config/BankLkup.dat\n");

// An empty but well-formed description file keeps start-up quiet.
const QByteArray metaDataXml("<?xml version=\"1.0\"?>\n<Root>\n</Root>\n");

const QByteArray sfxMetafile(
    "[Archive]\nbasename=GENRL\nlookup_index=0\nnum_banks=1\n"
    "[Bank_001]\nnum_sounds=2\nsound_001.filename=sound_001.wav\nsound_002.filename=sound_002.wav\n");

QByteArray StreamMetafile(const QByteArray &basename)
{
    return "[Stream]\nnum_tracks=2\nbasename=" + basename + "\nlookup_index=3\n"
           "[Track_001]\nfilename=track_001.ogg\n[Track_002]\nfilename=track_002.ogg\n";
}

// Group 0 of the tree holds GENRL (SFX), group 1 AA (stream), group 2 an archive of unknown type.
QString MetafileName(int group)
{
    return group == 0 ? QStringLiteral("sfx_import.ini") : QStringLiteral("stream_import.ini");
}

QByteArray Metafile(int group)
{
    return group == 0 ? sfxMetafile : StreamMetafile("AA");
}

const QString question = QStringLiteral("Load existing files: The archiv, that you want to export, already exist in "
                                        "your working directory.\nDo you want load the existing archiv from your "
                                        "working directory?");

bool WriteFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool HasChattr()
{
    return !QStandardPaths::findExecutable(QStringLiteral("chattr")).isEmpty();
}

// The immutable attribute stops even root from renaming a file, where the file system has it
// and we may set it.
bool CanMakeImmutable(const QString &folder)
{
    const QString probe = folder + QStringLiteral("/immutable-probe");
    if (!HasChattr() || !WriteFile(probe, "probe"))
        return false;
    const bool locked = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), probe}) == 0;
    if (locked)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), probe});
    QFile::remove(probe);
    return locked;
}
}

// Opening archives from the tree and saving them back, with stand-in tools in a fresh current
// directory D: settings.ini points the working directory at D/work and the game folder at D/game.
class TestMainWindowLoading : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void ExportsAndListsTheArchive_data();
    void ExportsAndListsTheArchive();
    void AsksBeforeReusingAnEarlierUnpacking_data();
    void AsksBeforeReusingAnEarlierUnpacking();
    void LoadsNothingWhenTheExportGivesNoList_data();
    void LoadsNothingWhenTheExportGivesNoList();
    void FolderNodeOnlyEmptiesTheList();
    void LooksForTheListWhereTheExportWentAfterChoosingAFolder();
    void SavingWithNothingLoadedDoesNothing();
    void SavesTheArchiveBackIntoTheGameFolder_data();
    void SavesTheArchiveBackIntoTheGameFolder();
    void KeepsTheOldArchiveWhenTheSwapFails_data();
    void KeepsTheOldArchiveWhenTheSwapFails();

private:
    std::unique_ptr<MainWindow> CreateWindow(bool bUseKivoMetadata = false) const
    {
        {
            QSettings settings(root + QStringLiteral("/settings.ini"), QSettings::IniFormat);
            settings.setValue(QStringLiteral("WorkingDirectory"), work);
            settings.setValue(QStringLiteral("GtaDirectory"), game);
            settings.setValue(QStringLiteral("UseKivoMetadata"), bUseKivoMetadata);
        }
        return std::make_unique<MainWindow>();
    }
    // leaf -1: the group itself
    QModelIndex Node(int group, int leaf = -1) const
    {
        const QAbstractItemModel *model = window->findChild<QTreeView *>(QStringLiteral("archiveView"))->model();
        const QModelIndex groupIndex = model->index(group, 0, model->index(0, 0));
        return leaf < 0 ? groupIndex : model->index(leaf, 0, groupIndex);
    }
    QAbstractItemModel *EntryModel() const { return window->findChild<QTreeView *>(QStringLiteral("entryView"))->model(); }
    // Loads GENRL or AA from an earlier unpacking in D/work without running the tool.
    bool LoadExisting(int group, const QByteArray &text)
    {
        if (!WriteFile(work + QLatin1Char('/') + Node(group, 0).data().toString() + QLatin1Char('/') + MetafileName(group), text))
            return false;
        dialogs->buttons.enqueue(QMessageBox::Yes);
        window->SoundFileSelected(Node(group, 0));
        const bool loaded = EntryModel() && tools->Runs().isEmpty() && dialogs->shown.size() == 1;
        dialogs->shown.clear();
        return loaded;
    }
    QStringList GameFolderEntries(const QString &subfolder) const
    {
        return QDir(game + QLatin1Char('/') + subfolder)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    QString previousDirectory;
    std::unique_ptr<QTemporaryDir> dir;
    QString root;
    QString work;
    QString game;
    QString configurationPath;
    QString metaDataPath;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<FakeKivoTools> tools;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindowLoading::init()
{
    previousDirectory = QDir::currentPath();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    root = QFileInfo(dir->path()).canonicalFilePath();
    work = root + QStringLiteral("/work");
    game = root + QStringLiteral("/game");
    QVERIFY(QDir().mkpath(work));
    QVERIFY(WriteFile(game + QStringLiteral("/audio/config/BankLkup.dat"), "bank"));
    QVERIFY(WriteFile(game + QStringLiteral("/audio/config/TrakLkup.dat"), "tracks"));
    QVERIFY(WriteFile(game + QStringLiteral("/audio/sfx/GENRL"), "old archive"));
    QVERIFY(WriteFile(game + QStringLiteral("/audio/streams/AA"), "old archive"));
    configurationPath = QCoreApplication::applicationDirPath() + QStringLiteral("/configuration.ini");
    QVERIFY(WriteFile(configurationPath, configuration));
    metaDataPath = QCoreApplication::applicationDirPath() + QStringLiteral("/MetaData.xml");
    QVERIFY(WriteFile(metaDataPath, metaDataXml));
    QVERIFY(QDir::setCurrent(root));
    dialogs = std::make_unique<ScriptedDialogs>();
    tools = std::make_unique<FakeKivoTools>(root);
}

void TestMainWindowLoading::cleanup()
{
    window.reset();
    tools.reset();
    dialogs.reset();
    // Whatever a test locked must be unlocked again, or the folder cannot be removed.
    QFile::setPermissions(game + QStringLiteral("/audio/sfx"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (HasChattr()) {
        for (const QString &name : GameFolderEntries(QStringLiteral("audio/sfx")))
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), game + QStringLiteral("/audio/sfx/") + name});
    }
    QDir::setCurrent(previousDirectory);
    QFile::remove(configurationPath);
    QFile::remove(metaDataPath);
    dir.reset();
}

void TestMainWindowLoading::ExportsAndListsTheArchive_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("useKivoMetadata");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("rows");

    const QString stationNames = QCoreApplication::applicationDirPath() + QStringLiteral("/metadata-full.ini");
    QTest::newRow("sfx") << 0 << false
                         << QStringList{"-e", "%game%/audio/sfx/GENRL", "%work%", "%game%/audio/config/BankLkup.dat"} << 1;
    QTest::newRow("stream without station names") << 1 << false
                                                   << QStringList{"-e", "%game%/audio/streams/AA", "%work%"} << 2;
    QTest::newRow("stream with station names") << 1 << true
                                               << QStringList{"-r", "%game%/audio/streams/AA", "%work%", stationNames} << 2;
}

void TestMainWindowLoading::ExportsAndListsTheArchive()
{
    QFETCH(int, group);
    QFETCH(bool, useKivoMetadata);
    QFETCH(QStringList, arguments);
    QFETCH(int, rows);
    window = CreateWindow(useKivoMetadata);
    tools->SetExport(Node(group, 0).data().toString(), MetafileName(group), Metafile(group));

    window->SoundFileSelected(Node(group, 0));

    QCOMPARE(dialogs->Log(), QStringList());
    const auto runs = tools->Runs();
    QCOMPARE(runs.size(), 1);
    arguments.replaceInStrings(QStringLiteral("%game%"), game).replaceInStrings(QStringLiteral("%work%"), work);
    QCOMPARE(runs[0].arguments, arguments);
    QCOMPARE(runs[0].workingDirectory, root);
    QVERIFY(EntryModel());
    QCOMPARE(EntryModel()->rowCount(), rows);
    QVERIFY(window->ContentAvailable());
    // The loaded archive is marked, and only it.
    QVERIFY(Node(group, 0).data(Qt::ForegroundRole).isValid());
    QVERIFY(!Node(1 - group, 0).data(Qt::ForegroundRole).isValid());
}

void TestMainWindowLoading::AsksBeforeReusingAnEarlierUnpacking_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("runs");
    QTest::newRow("sfx, yes loads without the tool") << 0 << int(QMessageBox::Yes) << 0;
    QTest::newRow("sfx, no unpacks again") << 0 << int(QMessageBox::No) << 1;
    QTest::newRow("stream, yes loads without the tool") << 1 << int(QMessageBox::Yes) << 0;
    QTest::newRow("stream, no unpacks again") << 1 << int(QMessageBox::No) << 1;
}

void TestMainWindowLoading::AsksBeforeReusingAnEarlierUnpacking()
{
    QFETCH(int, group);
    QFETCH(int, answer);
    QFETCH(int, runs);
    window = CreateWindow();
    const QString folder = Node(group, 0).data().toString();
    // The earlier unpacking lists one entry less than the tool writes now, to tell them apart.
    QByteArray earlier = Metafile(group);
    earlier.replace("num_sounds=2", "num_sounds=1").replace("num_tracks=2", "num_tracks=1");
    QVERIFY(WriteFile(work + QLatin1Char('/') + folder + QLatin1Char('/') + MetafileName(group), earlier));
    tools->SetExport(folder, MetafileName(group), Metafile(group));
    dialogs->buttons.enqueue(QMessageBox::StandardButton(answer));

    window->SoundFileSelected(Node(group, 0));

    QCOMPARE(dialogs->Log(), QStringList{question});
    QCOMPARE(dialogs->shown[0].kind, UserDialogs::Kind::Information);
    QCOMPARE(dialogs->shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(dialogs->shown[0].pParent, window.get());
    QCOMPARE(tools->Runs().size(), runs);
    QVERIFY(EntryModel());
    const QModelIndex first = EntryModel()->index(0, 0);
    const int entries = group == 0 ? EntryModel()->rowCount(first) : EntryModel()->rowCount();
    QCOMPARE(entries, runs == 0 ? 1 : 2);
}

void TestMainWindowLoading::LoadsNothingWhenTheExportGivesNoList_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("metafileText");  // null: the tool writes none
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("tool fails") << 0 << 1 << sfxMetafile
                                << QStringList{"Error: KIVO returned the following message:\nno such archive"};
    QTest::newRow("no metafile after success") << 0 << 0 << QByteArray() << QStringList();
    QTest::newRow("malformed metafile") << 0 << 0 << QByteArray("[Archiv]\nbasename=GENRL\n")
                                        << QStringList{"Error: Invalid ini-fileformat."};
    QTest::newRow("archive of unknown type, the tool not run")
        << 2 << 0 << QByteArray()
        << QStringList{"Error: Invalid soundtype was found in your configuration (only valid types are \"SFX\" and \"STREAM\")."};
}

void TestMainWindowLoading::LoadsNothingWhenTheExportGivesNoList()
{
    QFETCH(int, group);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, metafileText);
    QFETCH(QStringList, boxes);
    window = CreateWindow();
    QVERIFY(LoadExisting(1, Metafile(1)));
    tools->SetExitCode(exitCode);
    tools->SetStandardError("no such archive");
    if (!metafileText.isNull())
        tools->SetExport(QStringLiteral("GENRL"), MetafileName(0), metafileText);

    window->SoundFileSelected(Node(group, 0));

    QCOMPARE(dialogs->Log(), boxes);
    QCOMPARE(tools->Runs().size(), group == 2 ? 0 : 1);
    if (group == 2)
        QCOMPARE(dialogs->shown[0].kind, UserDialogs::Kind::Critical);
    // The list of the archive opened before is gone, and nothing took its place.
    QVERIFY(!EntryModel());
    QVERIFY(!window->ContentAvailable());
    QVERIFY(Node(group, 0).data(Qt::ForegroundRole).isValid());
}

void TestMainWindowLoading::FolderNodeOnlyEmptiesTheList()
{
    window = CreateWindow();
    QVERIFY(LoadExisting(0, sfxMetafile));

    window->SoundFileSelected(Node(1));

    QCOMPARE(dialogs->Log(), QStringList());
    QVERIFY(tools->Runs().isEmpty());
    QVERIFY(!EntryModel());
    QVERIFY(!Node(1).data(Qt::ForegroundRole).isValid());
    QVERIFY(Node(0, 0).data(Qt::ForegroundRole).isValid());
}

void TestMainWindowLoading::LooksForTheListWhereTheExportWentAfterChoosingAFolder()
{
    window = CreateWindow();
    QVERIFY(QDir(work).removeRecursively());
    const QString chosen = root + QStringLiteral("/chosen");
    QVERIFY(QDir().mkpath(chosen));
    dialogs->paths.enqueue(chosen);
    tools->SetExport(QStringLiteral("GENRL"), MetafileName(0), sfxMetafile);

    window->SoundFileSelected(Node(0, 0));

    QCOMPARE(dialogs->Log(), (QStringList{"Workingdirectory: No working directory was defined or the old one wasn't "
                                          "found.\nPlease choose a new directory.",
                                          "chooser: Select a working directory"}));
    const auto runs = tools->Runs();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].arguments.value(2), chosen);
    QVERIFY(EntryModel());
    QCOMPARE(EntryModel()->rowCount(), 1);
}

void TestMainWindowLoading::SavingWithNothingLoadedDoesNothing()
{
    window = CreateWindow();
    window->SaveArchive();
    QCOMPARE(dialogs->Log(), QStringList());
    QVERIFY(tools->Runs().isEmpty());
    QCOMPARE(ReadFile(game + QStringLiteral("/audio/sfx/GENRL")), QByteArray("old archive"));
}

void TestMainWindowLoading::SavesTheArchiveBackIntoTheGameFolder_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<QByteArray>("metafileText");
    QTest::addColumn<QString>("metafileFolder");
    QTest::newRow("sfx") << 0 << sfxMetafile << "GENRL";
    QTest::newRow("stream") << 1 << StreamMetafile("AA") << "AA";
    // The list names the folder to pack, not the tree.
    QTest::newRow("stream whose list names another folder") << 1 << StreamMetafile("BB") << "BB";
}

void TestMainWindowLoading::SavesTheArchiveBackIntoTheGameFolder()
{
    QFETCH(int, group);
    QFETCH(QByteArray, metafileText);
    QFETCH(QString, metafileFolder);
    const bool bSfx = group == 0;
    const QString archive = bSfx ? QStringLiteral("audio/sfx/GENRL") : QStringLiteral("audio/streams/AA");
    const QString bankFile = bSfx ? QStringLiteral("/audio/config/BankLkup.dat") : QStringLiteral("/audio/config/TrakLkup.dat");
    window = CreateWindow();
    QVERIFY(LoadExisting(group, metafileText));
    const QString metafile = work + QLatin1Char('/') + metafileFolder + QLatin1Char('/') + MetafileName(group);
    QVERIFY(WriteFile(metafile, metafileText));

    window->SaveArchive();

    QCOMPARE(dialogs->Log(), QStringList());
    const auto runs = tools->Runs();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].program, bSfx ? QStringLiteral("kivo_sfx.exe") : QStringLiteral("kivo_stream.exe"));
    const QString archivePath = game + QLatin1Char('/') + archive;
    QCOMPARE(runs[0].arguments, (QStringList{"-i", archivePath + ".new", metafile, game + bankFile}));
    QCOMPARE(runs[0].workingDirectory, work + QLatin1Char('/') + metafileFolder);
    QCOMPARE(ReadFile(archivePath), QByteArray("new archive"));
    // Exactly one file is left: no new archive and no kept copy of the old one.
    QCOMPARE(GameFolderEntries(QFileInfo(archive).path()), QStringList{QFileInfo(archive).fileName()});
    QCOMPARE(static_cast<QMainWindow *>(window.get())->statusBar()->currentMessage(),
             bSfx ? QStringLiteral("Save was successfull.") : QStringLiteral("Save was successfull"));
}

void TestMainWindowLoading::KeepsTheOldArchiveWhenTheSwapFails_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("left");  // in the game's sfx folder afterwards

    const QString noRemove = QStringLiteral("Error: Failed to remove old sound archive (%archive%)");
    const QString noMove = QStringLiteral("Error: Failed to move new sound archive.");
    const QStringList both{"GENRL", "GENRL.new"};
    QTest::newRow("immutable old archive") << "immutable" << noRemove << both;
    QTest::newRow("read-only old archive") << "read-only file" << noRemove << both;
    QTest::newRow("read-only game folder") << "read-only folder" << noRemove << both;
    QTest::newRow("folder at the archive's path") << "folder" << noRemove << both;
    QTest::newRow("tool leaves no new archive") << "no new archive" << noMove << QStringList{"GENRL"};
    QTest::newRow("new archive cannot be renamed") << "immutable new archive" << noMove << both;
}

void TestMainWindowLoading::KeepsTheOldArchiveWhenTheSwapFails()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, box);
    QFETCH(QStringList, left);
    const QString archivePath = game + QStringLiteral("/audio/sfx/GENRL");
    // Root ignores permission bits; only the immutable attribute and a folder stop it.
    if (obstacle.startsWith(QLatin1String("read-only")) && geteuid() == 0)
        QSKIP("root may take away read-only files");
    if (obstacle.startsWith(QLatin1String("immutable")) && !CanMakeImmutable(root))
        QSKIP("no immutable attribute here");
    window = CreateWindow();
    QVERIFY(LoadExisting(0, sfxMetafile));
    if (obstacle == QLatin1String("immutable")) {
        QCOMPARE(QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), archivePath}), 0);
    } else if (obstacle == QLatin1String("read-only file")) {
        QVERIFY(QFile::setPermissions(archivePath, QFile::ReadOwner));
    } else if (obstacle == QLatin1String("read-only folder")) {
        // The tool could not write into the locked folder either: the new archive is put there
        // beforehand and the tool leaves it alone.
        QVERIFY(WriteFile(archivePath + QStringLiteral(".new"), "new archive"));
        tools->SetWritesNoArchive();
        QVERIFY(QFile::setPermissions(game + QStringLiteral("/audio/sfx"), QFile::ReadOwner | QFile::ExeOwner));
    } else if (obstacle == QLatin1String("folder")) {
        QVERIFY(QFile::remove(archivePath));
        QVERIFY(WriteFile(archivePath + QStringLiteral("/inside"), "old archive"));
    } else if (obstacle == QLatin1String("no new archive")) {
        tools->SetWritesNoArchive();
    } else {
        tools->SetMakesArchiveImmutable();
    }
    QStatusBar *statusBar = static_cast<QMainWindow *>(window.get())->statusBar();
    const QString statusBefore = statusBar->currentMessage();

    window->SaveArchive();

    QCOMPARE(dialogs->Log(), QStringList{box.replace(QStringLiteral("%archive%"), archivePath)});
    QCOMPARE(dialogs->shown[0].kind, UserDialogs::Kind::Critical);
    QCOMPARE(dialogs->shown[0].pParent, window.get());
    const QString oldContent = obstacle == QLatin1String("folder") ? archivePath + QStringLiteral("/inside") : archivePath;
    QCOMPARE(ReadFile(oldContent), QByteArray("old archive"));
    if (left.contains(QStringLiteral("GENRL.new")))
        QCOMPARE(ReadFile(archivePath + QStringLiteral(".new")), QByteArray("new archive"));
    QCOMPARE(GameFolderEntries(QStringLiteral("audio/sfx")), left);
    QCOMPARE(statusBar->currentMessage(), statusBefore);
}

QTEST_MAIN(TestMainWindowLoading)
#include "tst_MainWindowLoading.moc"
