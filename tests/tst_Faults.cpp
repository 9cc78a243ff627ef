// Faults from outside, survived with nothing lost: the real window drives the real toolkit over a
// game folder made by the demo generator, and the test kills the tool halfway, locks files and
// folders, lets a chosen file vanish or makes the disk refuse writes. Each time the user must get
// the program's message, and every file that was there before must still be there, whole.
#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

#include <fcntl.h>
#include <linux/fs.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "DemoGame.h"
#include "tool/WaitDialog.h"

using namespace GameAudioFiles;

namespace
{
using Files = QMap<QString, QByteArray>;

const QString toolMessage = QStringLiteral("Error: KIVO returned the following message:\n");

// The files of before that are missing or changed now.
QString Damaged(const Files &before, const Files &now)
{
    QStringList damaged;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (now.value(it.key(), "\x01 gone") != it.value())
            damaged << it.key();
    }
    return damaged.join(", ");
}

// Makes a file or folder read-only for whoever runs the test, or writable again. Root ignores
// permission bits, so it gets the immutable attribute, which stops even root from changing,
// renaming or removing a file, or from adding and removing entries of a folder.
bool SetLocked(const QString &path, bool bOn)
{
    if (geteuid() != 0) {
        const auto execute = QFileInfo(path).isDir() ? QFile::ExeOwner : QFile::Permissions();
        return QFile::setPermissions(path, QFile::ReadOwner | execute | (bOn ? QFile::Permissions() : QFile::WriteOwner));
    }
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool bDone = descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    flags = bOn ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    bDone = bDone && ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    if (descriptor >= 0)
        ::close(descriptor);
    return bDone;
}

// Unlocks everything it locked when it goes.
struct Locks
{
    ~Locks() { UnlockAll(); }
    bool Lock(const QString &path)
    {
        const bool bLocked = SetLocked(path, true);
        if (bLocked)
            locked << path;
        return bLocked;
    }
    void UnlockAll()
    {
        for (const QString &path : std::as_const(locked))
            SetLocked(path, false);
        locked.clear();
    }
    QStringList locked;
};

// A disk that takes no file beyond limit bytes, for this process and the tools it starts. Writes
// beyond it fail with EFBIG instead of killing the writer, as on a full disk.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit lowered{limit, previous.rlim_max};
        bSet = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    rlimit previous{};
    void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    bool bSet = false;
};

struct Archive
{
    int group = 0;          // in the demo's tree
    int leaf = 0;
    QString folder;         // in the working directory
    QString path;           // in the game folder
    QString lookup;         // in the game folder
    QString program;
    int bankRow = -1;       // -1: a flat list of tracks
    QString entry;          // the entry the tests replace or export, in the folder
};

const Archive sfx{0, 1, "GENRL", "audio/SFX/GENRL", "audio/CONFIG/BankLkup.dat", "kivo_sfx.exe", 1, "Bank_002/sound_002.wav"};
const Archive stream{1, 0, "CH", "audio/streams/CH", "audio/CONFIG/TrakLkup.dat", "kivo_stream.exe", -1, "Track_002.ogg"};

// A sound of tens of kilobytes in the entry's format.
QString WriteReplacement(const DemoGame &game, const Archive &archive)
{
    const QString path = game.Root() + (archive.bankRow < 0 ? "/replacement.ogg" : "/replacement.wav");
    const bool bWritten = archive.bankRow < 0 ? WriteFile(path, OggVorbis(2.0, 987.77, 2, 44100))
                                              : WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025,
                                                               Tone(20000, 523.25, 11025, 15000));
    return bWritten ? path : QString();
}

// The archive as it unpacks now, in a folder of its own: proof that the game can still use it.
Files FreshUnpacking(const DemoGame &game, const Archive &archive)
{
    const QString target = game.Root() + "/fresh";
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QStringList arguments{"-e", game.Game() + "/" + archive.path, target};
    if (archive.bankRow >= 0)
        arguments << game.Game() + "/" + archive.lookup;
    const ToolRun run = Run(game.Root() + "/" + archive.program, arguments);
    if (run.exitCode != 0)
        qWarning("the game's archive no longer unpacks: %s", qPrintable(run.errorText));
    return run.exitCode == 0 ? Snapshot(target + "/" + archive.folder) : Files();
}
}

Q_DECLARE_METATYPE(Archive)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void AnObstacleLosesNothing_data();
    void AnObstacleLosesNothing();
};

void TestFaults::AnObstacleLosesNothing_data()
{
    QTest::addColumn<Archive>("archive");
    QTest::addColumn<QString>("operation"); // all but "unpack" come after an unpacking and a replacement
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("message");   // "tool": the toolkit's own message; empty: none
    const QString deleteFailed = "Error: Failed to delete old file: {entry}";
    const QString copyFailed = "Error: Failed to copy new file to working directory.";
    QTest::newRow("SFX, unpacking, read-only working directory") << sfx << "unpack" << "read-only work" << "tool";
    QTest::newRow("stream, unpacking, read-only working directory") << stream << "unpack" << "read-only work" << "tool";
    QTest::newRow("SFX, unpacking again, disk full") << sfx << "unpack again" << "full" << "tool";
    QTest::newRow("stream, unpacking again, disk full") << stream << "unpack again" << "full" << "tool";
    QTest::newRow("SFX, replacing, read-only working directory") << sfx << "replace" << "read-only work" << deleteFailed;
    QTest::newRow("SFX, replacing, disk full") << sfx << "replace" << "full" << copyFailed;
    QTest::newRow("SFX, exporting over an older copy, disk full") << sfx << "export" << "full" << "Error: Failed to export file.";
    QTest::newRow("SFX, exporting over an older copy, read-only folder")
        << sfx << "export" << "read-only" << "Error: Failed to delete existing file.";
    // Packing stopped halfway: the tool waits at the point named last to be killed or aborted.
    QTest::newRow("SFX, packing, aborted while the package is written") << sfx << "save" << "abort at archive" << "";
    QTest::newRow("SFX, packing, killed before the lookup file is replaced") << sfx << "save" << "kill at lookup" << "tool";
    QTest::newRow("stream, packing, aborted before the lookup file is replaced") << stream << "save" << "abort at lookup" << "";
    QTest::newRow("SFX, packing, disk full") << sfx << "save" << "full" << "tool";
    QTest::newRow("SFX, packing, read-only game folder") << sfx << "save" << "read-only" << "tool";
    QTest::newRow("stream, packing, folder where the new archive goes") << stream << "save" << "folder" << "tool";
    // The lookup file must still describe the archive that stayed: the tool had rewritten it for
    // the new one.
    QTest::newRow("SFX, packing over a protected package") << sfx << "save" << "locked archive"
                                                           << "Error: Failed to remove old sound archive ({archive})";
}

void TestFaults::AnObstacleLosesNothing()
{
    QFETCH(Archive, archive);
    QFETCH(QString, operation);
    QFETCH(QString, obstacle);
    QFETCH(QString, message);
    static const bool bLocksWork = [] {
        QTemporaryDir probe;
        Locks locks;
        const QString file = probe.filePath("probe");
        return WriteFile(file, "probe") && locks.Lock(file) && !QFile::rename(file, file + ".moved");
    }();
    if ((obstacle.startsWith("read-only") || obstacle == "locked archive") && !bLocksWork)
        QSKIP("files cannot be locked against this user here (no immutable attribute)");
    DemoGame game;
    QVERIFY(game.IsReady());
    game.Start(false);
    const QString folder = game.Work() + "/" + archive.folder;
    const QString archivePath = game.Game() + "/" + archive.path;
    const Files usable = FreshUnpacking(game, archive);
    QVERIFY(!usable.isEmpty());
    const QString replacement = WriteReplacement(game, archive);
    if (operation != "unpack") {
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        game.Replace(game.Entry(archive.bankRow, 1), replacement);
        QCOMPARE(game.StatusBar()->currentMessage(), QStringLiteral("Item was successfull replaced."));
    }
    const QString exportFolder = game.Root() + "/exported";
    const QString exported = exportFolder + "/" + QFileInfo(archive.entry).fileName();
    QVERIFY(QDir().mkpath(exportFolder) && WriteFile(exported, "an older copy the user keeps"));
    const Files workBefore = Snapshot(game.Work());
    const Files gameBefore = Snapshot(game.Game());
    game.StatusBar()->clearMessage();

    Locks locks;
    std::unique_ptr<FileSizeLimit> limit;
    if (obstacle == "full") {
        // Every file written here is far larger than this, the settings and lists excepted.
        limit = std::make_unique<FileSizeLimit>(2048);
        QVERIFY(limit->bSet);
    } else if (obstacle == "read-only") {
        QVERIFY(locks.Lock(operation == "export" ? exportFolder : QFileInfo(archivePath).path()));
    } else if (obstacle == "read-only work") {
        QSet<QString> folders{game.Work(), folder};
        for (const QString &file : FilesBelow(folder))
            folders.insert(QFileInfo(folder + "/" + file).absolutePath());
        for (const QString &locked : std::as_const(folders))
            QVERIFY(!QFileInfo::exists(locked) || locks.Lock(locked));
    } else if (obstacle == "locked archive") {
        QVERIFY(locks.Lock(archivePath));
    } else if (obstacle == "folder") {
        QVERIFY(QDir().mkpath(archivePath + ".new/in the way"));
    }
    const QString point = obstacle.section(' ', -1);
    const bool bStops = obstacle.contains(" at ");
    bool bStopped = false;
    QTimer poll;
    const auto unpause = qScopeGuard([] {
        qunsetenv("KIVO_TEST_PAUSE");
        qunsetenv("KIVO_TEST_PAUSE_MARK");
    });
    if (bStops) {
        // The program keeps the tool's standard error to itself, so the tool leaves a mark when
        // it has reached the point.
        const QString mark = game.Root() + "/paused";
        qputenv("KIVO_TEST_PAUSE", point.toLatin1());
        qputenv("KIVO_TEST_PAUSE_MARK", QFile::encodeName(mark));
        const QString staleId = game.Root() + "/" + archive.program + ".pid"; // of the unpacking
        QVERIFY(!QFile::exists(staleId) || QFile::remove(staleId));
        connect(&poll, &QTimer::timeout, this, [&, mark] {
            const bool bAbort = obstacle.startsWith("abort");
            auto *waitDialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
            const qint64 tool = game.LastRun(archive.program);
            if (bStopped || !QFile::exists(mark) || (bAbort ? !waitDialog : tool <= 0))
                return;
            if (bAbort)
                waitDialog->findChild<QPushButton *>()->click();
            else
                ::kill(pid_t(tool), SIGKILL);
            bStopped = true;
        });
        poll.start(5);
    }
    game.dialogs->shown.clear();

    if (operation == "replace") {
        game.Replace(game.Entry(archive.bankRow, 1), replacement);
    } else if (operation == "export") {
        game.Select(game.Entry(archive.bankRow, 1));
        game.dialogs->paths.enqueue(exportFolder);
        game.window->Export();
    } else if (operation == "save") {
        game.window->SaveArchive();
    } else {
        game.dialogs->buttons.enqueue(QMessageBox::No); // "Load existing files": unpack again
        QVERIFY(!game.Unpack(archive.group, archive.leaf));
    }
    poll.stop();
    limit.reset();
    locks.UnlockAll();
    QCOMPARE(bStopped, bStops);

    QStringList log = game.dialogs->Log();
    // Unpacking again asks first; exporting and replacing open a chooser first.
    if (operation != "unpack" && operation != "save")
        QVERIFY(log.takeFirst().startsWith(operation == "unpack again" ? "Load existing files: " : "chooser: "));
    QCOMPARE(log.size(), message.isEmpty() ? 0 : 1);
    if (message == "tool")
        QVERIFY2(log.constFirst().startsWith(toolMessage), qPrintable(log.constFirst()));
    else if (!message.isEmpty())
        QCOMPARE(log.constFirst(),
                 QString(message).replace("{entry}", folder + "/" + archive.entry).replace("{archive}", archivePath));
    QVERIFY2(!game.StatusBar()->currentMessage().contains("successfull"), qPrintable(game.StatusBar()->currentMessage()));

    QCOMPARE(Damaged(workBefore, Snapshot(game.Work())), QString());
    QCOMPARE(Damaged(gameBefore, Snapshot(game.Game())), QString());
    // Nor may a stopped tool leave half-written temporaries behind, in the game least of all.
    QCOMPARE((FilesBelow(game.Work()) + FilesBelow(game.Game())).filter(".kivo-"), QStringList());
    QCOMPARE(ReadFile(exported), QByteArray("an older copy the user keeps"));
    QCOMPARE(FreshUnpacking(game, archive), usable);
}

QTEST_MAIN(TestFaults)
#include "tst_Faults.moc"
