// Faults from outside, survived with nothing lost: the real window drives the real toolkit over a
// game folder made by the demo generator, and the test kills the tool halfway, locks files and
// folders, lets a chosen file vanish or makes the disk refuse writes. Each time the user must get
// the program's message, and every file that was there before must still be there, whole.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <csignal>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <linux/fs.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "tool/WaitDialog.h"

using namespace GameAudioFiles;

namespace
{
using Files = QMap<QString, QByteArray>;

const QString toolMessage = QStringLiteral("Error: KIVO returned the following message:\n");

Files FilesOf(const QString &folder)
{
    Files files;
    for (const QString &file : FilesBelow(folder))
        files[file] = ReadFile(folder + QLatin1Char('/') + file);
    return files;
}

// The files of before that are missing or changed now.
QStringList Damaged(const Files &before, const Files &now)
{
    QStringList damaged;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!now.contains(it.key()))
            damaged << it.key() + QStringLiteral(" is gone");
        else if (now[it.key()] != it.value())
            damaged << it.key() + QStringLiteral(" changed");
    }
    return damaged;
}

// Sets or clears the immutable attribute, which stops even root from changing, renaming or
// removing a file, or from adding and removing entries of a folder.
bool SetImmutable(const QString &path, bool bOn)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    int flags = 0;
    bool bDone = ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    if (bDone) {
        flags = bOn ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        bDone = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(descriptor);
    return bDone;
}

// Makes files and folders read-only for the one running the test, root included: root ignores
// permission bits, so it gets the immutable attribute instead. Unlocks everything when it goes.
class Locks
{
public:
    ~Locks() { UnlockAll(); }

    bool Lock(const QString &path)
    {
        const bool bLocked = geteuid() == 0 ? SetImmutable(path, true)
                                            : QFile::setPermissions(path, QFileInfo(path).isDir()
                                                                              ? QFile::ReadOwner | QFile::ExeOwner
                                                                              : QFile::ReadOwner);
        if (bLocked)
            locked.prepend(path);
        return bLocked;
    }

    void UnlockAll()
    {
        for (const QString &path : std::as_const(locked)) {
            if (geteuid() == 0)
                SetImmutable(path, false);
            else
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner
                                                | (QFileInfo(path).isDir() ? QFile::ExeOwner : QFile::Permissions()));
        }
        locked.clear();
    }

    // Whether locking works here and really stops a rename.
    static bool Work(const QString &folder)
    {
        const QString probe = folder + QStringLiteral("/lock-probe");
        if (!WriteFile(probe, "probe"))
            return false;
        bool bWorks = false;
        {
            Locks locks;
            bWorks = locks.Lock(probe) && !QFile::rename(probe, probe + QStringLiteral(".moved"));
        }
        QFile::remove(probe + QStringLiteral(".moved"));
        QFile::remove(probe);
        return bWorks;
    }

private:
    QStringList locked;
};

// A disk that takes no file beyond limit bytes, for this process and the tools it starts. Writes
// beyond it fail with EFBIG instead of killing the writer, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = previous;
        lowered.rlim_cur = limit;
        bSet = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool IsSet() const { return bSet; }

private:
    rlimit previous {};
    void (*previousHandler)(int) = SIG_DFL;
    bool bSet = false;
};

// The children of this process that run program, by their process ids.
QList<pid_t> ChildrenRunning(const QString &program)
{
    QList<pid_t> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool bNumber = false;
        const pid_t pid = entry.toInt(&bNumber);
        if (!bNumber)
            continue;
        const QByteArray stat = ReadFile(QStringLiteral("/proc/%1/stat").arg(pid));
        // "pid (name) state ppid ...": the name may hold blanks, so it is cut out by its brackets.
        const qsizetype open = stat.indexOf('(');
        const qsizetype close = stat.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
        if (stat.mid(open + 1, close - open - 1) == program.left(15).toLatin1() && rest.size() > 1
            && rest[1].toInt() == getpid())
            children << pid;
    }
    return children;
}

// Answers a file chooser with a path and deletes that file right after, before the window can
// copy it.
class VanishingChoice : public ScriptedDialogs
{
public:
    QString Choose(const UserDialogs::Request &request) override
    {
        const QString chosen = ScriptedDialogs::Choose(request);
        if (!chosen.isEmpty())
            QFile::remove(chosen);
        return chosen;
    }
};

struct Archive
{
    int group = 0;          // in the demo's tree: 0 SFX, 1 Streams
    int leaf = 0;
    QString folder;         // in the working directory
    QString path;           // in the game folder
    QString lookup;         // in the game folder
    QString program;
    int bankRow = -1;       // -1: a flat list of tracks
    QString entry;          // the entry the tests replace or export, in the folder
};

Archive Sfx()
{
    return {0, 1, QStringLiteral("GENRL"), QStringLiteral("audio/SFX/GENRL"), QStringLiteral("audio/CONFIG/BankLkup.dat"),
            QStringLiteral("kivo_sfx.exe"), 1, QStringLiteral("Bank_002/sound_002.wav")};
}

Archive Stream()
{
    return {1, 0, QStringLiteral("CH"), QStringLiteral("audio/streams/CH"), QStringLiteral("audio/CONFIG/TrakLkup.dat"),
            QStringLiteral("kivo_stream.exe"), -1, QStringLiteral("Track_002.ogg")};
}
}

Q_DECLARE_METATYPE(Archive)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void PackingStoppedHalfwayLeavesTheGameAsItWas_data();
    void PackingStoppedHalfwayLeavesTheGameAsItWas();
    void AProtectedArchiveKeepsTheGameConsistent_data();
    void AProtectedArchiveKeepsTheGameConsistent();
    void AReadOnlyWorkingDirectoryLosesNothing_data();
    void AReadOnlyWorkingDirectoryLosesNothing();
    void AReplacementThatVanishesLeavesTheEntry();
    void ADiskThatRefusesWritesLosesNothing_data();
    void ADiskThatRefusesWritesLosesNothing();

private:
    void StartWindow();
    bool Unpack(const Archive &archive);
    QModelIndex Entry(const Archive &archive, int row) const;
    QAbstractItemModel *EntryModel() const;
    QString StatusText() const;
    // A sound of tens of kilobytes in the entry's format.
    QString WriteReplacement(const Archive &archive);
    bool ReplaceEntry(const Archive &archive);
    // The archive as it unpacks now, in a folder of its own: proof that the game can still use it.
    Files FreshUnpacking(const Archive &archive);

    QString previousDirectory;
    std::unique_ptr<QTemporaryDir> dir;
    QString root;
    QString work;
    QString game;
    bool bLocksWork = false;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<Locks> locks;
    std::unique_ptr<MainWindow> window;
};

void TestFaults::initTestCase()
{
    previousDirectory = QDir::currentPath();
    QTemporaryDir probe;
    bLocksWork = probe.isValid() && Locks::Work(probe.path());
}

void TestFaults::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    root = QFileInfo(dir->path()).canonicalFilePath();
    work = root + QStringLiteral("/work");
    game = root + QStringLiteral("/game");
    QVERIFY(QDir().mkpath(work));
    const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {game, QCoreApplication::applicationDirPath()});
    QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
    // The window runs the tools from its current directory, where settings.ini lives too.
    QVERIFY(QFile::copy(QStringLiteral(KIVO_SFX_PATH), root + QStringLiteral("/kivo_sfx.exe")));
    QVERIFY(QFile::copy(QStringLiteral(KIVO_STREAM_PATH), root + QStringLiteral("/kivo_stream.exe")));
    QVERIFY(QDir::setCurrent(root));
    dialogs = std::make_unique<ScriptedDialogs>();
    locks = std::make_unique<Locks>();
}

void TestFaults::cleanup()
{
    window.reset();
    dialogs.reset();
    locks.reset();
    qunsetenv("KIVO_TEST_PAUSE");
    QDir::setCurrent(previousDirectory);
    for (const char *file : {"/configuration.ini", "/metadata-full.ini", "/MetaData.xml"})
        QFile::remove(QCoreApplication::applicationDirPath() + QLatin1String(file));
    dir.reset();
}

void TestFaults::StartWindow()
{
    {
        QSettings settings(root + QStringLiteral("/settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), work);
        settings.setValue(QStringLiteral("GtaDirectory"), game);
        settings.setValue(QStringLiteral("UseKivoMetadata"), false);
    }
    window = std::make_unique<MainWindow>();
}

QAbstractItemModel *TestFaults::EntryModel() const
{
    return window->findChild<QTreeView *>(QStringLiteral("entryView"))->model();
}

QString TestFaults::StatusText() const
{
    return static_cast<QMainWindow *>(window.get())->statusBar()->currentMessage();
}

bool TestFaults::Unpack(const Archive &archive)
{
    const QAbstractItemModel *tree = window->findChild<QTreeView *>(QStringLiteral("archiveView"))->model();
    window->SoundFileSelected(tree->index(archive.leaf, 0, tree->index(archive.group, 0)));
    return EntryModel() != nullptr;
}

QModelIndex TestFaults::Entry(const Archive &archive, int row) const
{
    QAbstractItemModel *model = EntryModel();
    return archive.bankRow < 0 ? model->index(row, 0) : model->index(row, 0, model->index(archive.bankRow, 0));
}

QString TestFaults::WriteReplacement(const Archive &archive)
{
    if (archive.bankRow < 0) {
        const QString path = root + QStringLiteral("/replacement.ogg");
        return WriteFile(path, OggVorbis(2.0, 987.77, 2, 44100)) ? path : QString();
    }
    const QString path = root + QStringLiteral("/replacement.wav");
    const QVector<qint16> samples = Tone(20000, 523.25, 11025, 15000);
    return WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, samples) ? path : QString();
}

bool TestFaults::ReplaceEntry(const Archive &archive)
{
    const QString replacement = WriteReplacement(archive);
    auto *entryView = window->findChild<QTreeView *>(QStringLiteral("entryView"));
    entryView->selectionModel()->select(Entry(archive, 1), QItemSelectionModel::ClearAndSelect);
    dialogs->paths.enqueue(replacement);
    window->Replace();
    return StatusText() == QStringLiteral("Item was successfull replaced.");
}

Files TestFaults::FreshUnpacking(const Archive &archive)
{
    const QString target = root + QStringLiteral("/fresh");
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    const QStringList arguments = archive.bankRow < 0
        ? QStringList{QStringLiteral("-e"), game + QLatin1Char('/') + archive.path, target}
        : QStringList{QStringLiteral("-e"), game + QLatin1Char('/') + archive.path, target,
                      game + QLatin1Char('/') + archive.lookup};
    const ToolRun run = Run(root + QLatin1Char('/') + archive.program, arguments);
    if (run.exitCode != 0)
        qWarning("the game's archive no longer unpacks: %s", qPrintable(run.errorText));
    return run.exitCode == 0 ? FilesOf(target + QLatin1Char('/') + archive.folder) : Files();
}

void TestFaults::PackingStoppedHalfwayLeavesTheGameAsItWas_data()
{
    QTest::addColumn<Archive>("archive");
    QTest::addColumn<QString>("point");    // where the tool waits to be stopped
    QTest::addColumn<bool>("userAborts");  // else it is killed from outside
    QTest::newRow("SFX, aborted while the package is written") << Sfx() << "archive" << true;
    QTest::newRow("SFX, killed while the package is written") << Sfx() << "archive" << false;
    QTest::newRow("SFX, killed before the lookup file is replaced") << Sfx() << "lookup" << false;
    QTest::newRow("stream, aborted before the lookup file is replaced") << Stream() << "lookup" << true;
    QTest::newRow("stream, killed while the pack is written") << Stream() << "archive" << false;
}

void TestFaults::PackingStoppedHalfwayLeavesTheGameAsItWas()
{
    QFETCH(Archive, archive);
    QFETCH(QString, point);
    QFETCH(bool, userAborts);
    StartWindow();
    QVERIFY(Unpack(archive));
    const Files usable = FreshUnpacking(archive);
    QVERIFY(!usable.isEmpty());
    QVERIFY(ReplaceEntry(archive));
    const Files gameBefore = FilesOf(game);
    dialogs->shown.clear();

    // The tool announces nothing we could read while it runs; the temporary file it writes
    // beside the file it is about to replace shows how far it got.
    const QString watched = point == QLatin1String("lookup") ? game + QLatin1Char('/') + archive.lookup
                                                              : game + QLatin1Char('/') + archive.path;
    qputenv("KIVO_TEST_PAUSE", point.toLatin1());
    bool bStopped = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        const QFileInfo target(watched);
        const QStringList temporaries = target.dir().entryList({target.fileName() + QStringLiteral("*.kivo-*.tmp")},
                                                               QDir::Files);
        if (bStopped || temporaries.isEmpty() || QFileInfo(target.dir().filePath(temporaries.first())).size() == 0)
            return;
        if (userAborts) {
            auto *waitDialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            if (!waitDialog)
                return;
            waitDialog->findChild<QPushButton *>()->click();
        } else {
            const QList<pid_t> tools = ChildrenRunning(archive.program);
            if (tools.isEmpty())
                return;
            for (const pid_t tool : tools)
                ::kill(tool, SIGKILL);
        }
        bStopped = true;
    });
    poll.start(5);
    window->SaveArchive();
    poll.stop();
    qunsetenv("KIVO_TEST_PAUSE");

    QVERIFY(bStopped);
    if (userAborts) {
        QCOMPARE(dialogs->Log(), QStringList());
    } else {
        QCOMPARE(dialogs->Log().size(), 1);
        QVERIFY2(dialogs->Log().constFirst().startsWith(toolMessage), qPrintable(dialogs->Log().constFirst()));
    }
    QVERIFY(!StatusText().startsWith(QStringLiteral("Save was successfull")));
    QVERIFY2(Damaged(gameBefore, FilesOf(game)).isEmpty(), qPrintable(Damaged(gameBefore, FilesOf(game)).join(", ")));
    QCOMPARE(FreshUnpacking(archive), usable);
}

void TestFaults::AProtectedArchiveKeepsTheGameConsistent_data()
{
    QTest::addColumn<Archive>("archive");
    QTest::newRow("SFX package") << Sfx();
    QTest::newRow("stream pack") << Stream();
}

void TestFaults::AProtectedArchiveKeepsTheGameConsistent()
{
    QFETCH(Archive, archive);
    if (!bLocksWork)
        QSKIP("files cannot be locked against this user here (no immutable attribute)");
    StartWindow();
    QVERIFY(Unpack(archive));
    const Files usable = FreshUnpacking(archive);
    QVERIFY(ReplaceEntry(archive));
    const QString archivePath = game + QLatin1Char('/') + archive.path;
    QVERIFY(locks->Lock(archivePath));
    const Files gameBefore = FilesOf(game);
    dialogs->shown.clear();

    window->SaveArchive();

    QCOMPARE(dialogs->Log(), QStringList{"Error: Failed to remove old sound archive (" + archivePath + ")"});
    QVERIFY(!StatusText().startsWith(QStringLiteral("Save was successfull")));
    // The lookup file must still describe the archive that stayed: the tool had rewritten it for
    // the new one.
    QVERIFY2(Damaged(gameBefore, FilesOf(game)).isEmpty(), qPrintable(Damaged(gameBefore, FilesOf(game)).join(", ")));
    QCOMPARE(FreshUnpacking(archive), usable);
}

void TestFaults::AReadOnlyWorkingDirectoryLosesNothing_data()
{
    QTest::addColumn<Archive>("archive");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");  // "tool": the toolkit's own message
    QTest::newRow("SFX, unpacking into it") << Sfx() << "unpack" << "tool";
    QTest::newRow("stream, unpacking into it") << Stream() << "unpack" << "tool";
    QTest::newRow("SFX, unpacking again over an earlier unpacking") << Sfx() << "unpack again" << "tool";
    QTest::newRow("SFX, replacing an entry") << Sfx() << "replace" << "Error: Failed to delete old file: ";
    QTest::newRow("stream, replacing an entry") << Stream() << "replace" << "Error: Failed to delete old file: ";
}

void TestFaults::AReadOnlyWorkingDirectoryLosesNothing()
{
    QFETCH(Archive, archive);
    QFETCH(QString, operation);
    QFETCH(QString, message);
    if (!bLocksWork)
        QSKIP("folders cannot be locked against this user here (no immutable attribute)");
    StartWindow();
    const QString folder = work + QLatin1Char('/') + archive.folder;
    const QString replacement = WriteReplacement(archive);
    if (operation != QLatin1String("unpack")) {
        QVERIFY(Unpack(archive));
        QVERIFY(ReplaceEntry(archive));
        QSet<QString> folders{folder};
        for (const QString &file : FilesBelow(folder))
            folders.insert(QFileInfo(folder + QLatin1Char('/') + file).absolutePath());
        for (const QString &locked : std::as_const(folders))
            QVERIFY(locks->Lock(locked));
    }
    QVERIFY(locks->Lock(work));
    const Files workBefore = FilesOf(work);
    dialogs->shown.clear();

    if (operation == QLatin1String("replace")) {
        auto *entryView = window->findChild<QTreeView *>(QStringLiteral("entryView"));
        entryView->selectionModel()->select(Entry(archive, 1), QItemSelectionModel::ClearAndSelect);
        dialogs->paths.enqueue(replacement);
        window->Replace();
        message += folder + QLatin1Char('/') + archive.entry;
    } else {
        dialogs->buttons.enqueue(QMessageBox::No);  // "Load existing files": unpack again
        QVERIFY(!Unpack(archive));
    }

    QStringList log = dialogs->Log();
    if (operation == QLatin1String("unpack again"))
        QVERIFY(log.takeFirst().startsWith(QStringLiteral("Load existing files: ")));
    if (operation == QLatin1String("replace"))
        QCOMPARE(log.takeFirst(), QStringLiteral("chooser: "));
    QCOMPARE(log.size(), 1);
    if (message == QLatin1String("tool"))
        QVERIFY2(log.constFirst().startsWith(toolMessage), qPrintable(log.constFirst()));
    else
        QCOMPARE(log.constFirst(), message);
    locks->UnlockAll();
    QVERIFY2(Damaged(workBefore, FilesOf(work)).isEmpty(), qPrintable(Damaged(workBefore, FilesOf(work)).join(", ")));
}

void TestFaults::AReplacementThatVanishesLeavesTheEntry()
{
    // The old handler must go first: its destructor takes every handler out.
    dialogs.reset();
    dialogs = std::make_unique<VanishingChoice>();
    StartWindow();
    const Archive archive = Sfx();
    QVERIFY(Unpack(archive));
    const QString folder = work + QLatin1Char('/') + archive.folder;
    const Files workBefore = FilesOf(work);
    auto *entryView = window->findChild<QTreeView *>(QStringLiteral("entryView"));
    entryView->selectionModel()->select(Entry(archive, 1), QItemSelectionModel::ClearAndSelect);
    dialogs->paths.enqueue(WriteReplacement(archive));

    window->Replace();

    QCOMPARE(dialogs->Log(), (QStringList{"chooser: ", "Error: Failed to copy new file to working directory."}));
    QCOMPARE(FilesOf(work), workBefore);
}

void TestFaults::ADiskThatRefusesWritesLosesNothing_data()
{
    QTest::addColumn<Archive>("archive");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("message");  // "tool": the toolkit's own message
    QTest::newRow("SFX, replacing an entry, disk full") << Sfx() << "replace" << "full"
                                                        << "Error: Failed to copy new file to working directory.";
    QTest::newRow("stream, replacing an entry, disk full") << Stream() << "replace" << "full"
                                                           << "Error: Failed to copy new file to working directory.";
    QTest::newRow("SFX, exporting over an older copy, disk full") << Sfx() << "export" << "full"
                                                                  << "Error: Failed to export file.";
    QTest::newRow("SFX, exporting over an older copy, read-only folder") << Sfx() << "export" << "read-only"
                                                                         << "Error: Failed to delete existing file.";
    QTest::newRow("SFX, packing, disk full") << Sfx() << "save" << "full" << "tool";
    QTest::newRow("stream, packing, disk full") << Stream() << "save" << "full" << "tool";
    QTest::newRow("SFX, packing, read-only game folder") << Sfx() << "save" << "read-only" << "tool";
    QTest::newRow("stream, packing, folder where the new archive goes") << Stream() << "save" << "folder" << "tool";
    QTest::newRow("SFX, unpacking again, disk full") << Sfx() << "unpack again" << "full" << "tool";
    QTest::newRow("stream, unpacking again, disk full") << Stream() << "unpack again" << "full" << "tool";
}

void TestFaults::ADiskThatRefusesWritesLosesNothing()
{
    QFETCH(Archive, archive);
    QFETCH(QString, operation);
    QFETCH(QString, obstacle);
    QFETCH(QString, message);
    if (obstacle == QLatin1String("read-only") && !bLocksWork)
        QSKIP("folders cannot be locked against this user here (no immutable attribute)");
    StartWindow();
    QVERIFY(Unpack(archive));
    const Files usable = FreshUnpacking(archive);
    QVERIFY(ReplaceEntry(archive));
    const QString folder = work + QLatin1Char('/') + archive.folder;
    const QString exportFolder = root + QStringLiteral("/exported");
    const QString exported = exportFolder + QLatin1Char('/') + QFileInfo(archive.entry).fileName();
    QVERIFY(QDir().mkpath(exportFolder));
    QVERIFY(WriteFile(exported, "an older copy the user keeps"));
    const QString replacement = WriteReplacement(archive);
    const Files workBefore = FilesOf(work);
    const Files gameBefore = FilesOf(game);
    dialogs->shown.clear();
    static_cast<QMainWindow *>(window.get())->statusBar()->clearMessage();

    // Every file written here is far larger than this, the settings and lists excepted.
    const rlim_t diskLeft = 2048;
    std::unique_ptr<FileSizeLimit> limit;
    if (obstacle == QLatin1String("full"))
        limit = std::make_unique<FileSizeLimit>(diskLeft);
    else if (obstacle == QLatin1String("read-only"))
        QVERIFY(locks->Lock(operation == QLatin1String("export") ? exportFolder
                                                                 : QFileInfo(game + QLatin1Char('/') + archive.path).path()));
    else
        QVERIFY(QDir().mkpath(game + QLatin1Char('/') + archive.path + QStringLiteral(".new/in the way")));
    QVERIFY(!limit || limit->IsSet());

    auto *entryView = window->findChild<QTreeView *>(QStringLiteral("entryView"));
    if (operation == QLatin1String("replace")) {
        entryView->selectionModel()->select(Entry(archive, 1), QItemSelectionModel::ClearAndSelect);
        dialogs->paths.enqueue(replacement);
        window->Replace();
    } else if (operation == QLatin1String("export")) {
        entryView->selectionModel()->select(Entry(archive, 1), QItemSelectionModel::ClearAndSelect);
        dialogs->paths.enqueue(exportFolder);
        window->Export();
    } else if (operation == QLatin1String("save")) {
        window->SaveArchive();
    } else {
        dialogs->buttons.enqueue(QMessageBox::No);  // "Load existing files": unpack again
        QVERIFY(!Unpack(archive));
    }
    limit.reset();
    locks->UnlockAll();

    QStringList log = dialogs->Log();
    if (operation == QLatin1String("unpack again"))
        QVERIFY(log.takeFirst().startsWith(QStringLiteral("Load existing files: ")));
    if (operation == QLatin1String("export"))
        QCOMPARE(log.takeFirst(), QStringLiteral("chooser: Selected directory for export"));
    if (operation == QLatin1String("replace"))
        QCOMPARE(log.takeFirst(), QStringLiteral("chooser: "));
    QCOMPARE(log.size(), 1);
    if (message == QLatin1String("tool"))
        QVERIFY2(log.constFirst().startsWith(toolMessage), qPrintable(log.constFirst()));
    else
        QCOMPARE(log.constFirst(), message);
    QVERIFY2(!StatusText().contains(QStringLiteral("successfull")), qPrintable(StatusText()));

    QVERIFY2(Damaged(workBefore, FilesOf(work)).isEmpty(), qPrintable(Damaged(workBefore, FilesOf(work)).join(", ")));
    QVERIFY2(Damaged(gameBefore, FilesOf(game)).isEmpty(), qPrintable(Damaged(gameBefore, FilesOf(game)).join(", ")));
    QCOMPARE(ReadFile(exported), QByteArray("an older copy the user keeps"));
    QCOMPARE(FreshUnpacking(archive), usable);
}

QTEST_MAIN(TestFaults)
#include "tst_Faults.moc"
