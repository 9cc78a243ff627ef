#include "app/KeptOriginals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "app/LoadedArchive.h"
#include "app/UserDialogs.h"
#include "game/PathCase.h"

namespace
{
const QString keptFolderName = QStringLiteral("RozivOze originals");

QString CommonFolder(const QString &first, const QString &second)
{
    const QStringList firstParts = QDir::cleanPath(QFileInfo(first).absolutePath()).split(QLatin1Char('/'));
    const QStringList secondParts = QDir::cleanPath(QFileInfo(second).absolutePath()).split(QLatin1Char('/'));
    qsizetype shared = 0;
    while (shared < firstParts.size() && shared < secondParts.size() && firstParts[shared] == secondParts[shared])
        ++shared;
    const QString common = firstParts.mid(0, shared).join(QLatin1Char('/'));
    return common.isEmpty() ? QStringLiteral("/") : common;
}

QString Failure(const QString &source, const QString &target, const QString &reason)
{
    return QStringLiteral("The original of \"") + source + QStringLiteral("\" could not be kept as \"") + target
         + QStringLiteral("\": ") + reason + QStringLiteral(".");
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// 0 when the file or folder is on disk; otherwise the system's error.
int Sync(const QString &path, bool bFolder)
{
#ifdef Q_OS_UNIX
    const int flags = O_RDONLY | O_CLOEXEC | (bFolder ? O_DIRECTORY : 0);
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags);
    if (descriptor < 0)
        return errno;
    // Some file systems cannot sync a folder at all; they have nothing more to write for it.
    const int error = ::fsync(descriptor) == 0 || (bFolder && errno == EINVAL) ? 0 : errno;
    ::close(descriptor);
    return error;
#else
    Q_UNUSED(path);
    Q_UNUSED(bFolder);
    return 0;
#endif
}

// The folder and every folder above it up to `root`: a folder made for the kept file is only
// found after a crash when its parent's entry is on disk too.
int SyncFolders(const QString &folder, const QString &root)
{
    QString path = QDir::cleanPath(folder);
    for (;;) {
        if (const int error = Sync(path, true))
            return error;
        const QString parent = QFileInfo(path).absolutePath();
        if (path == root || parent == path || !parent.startsWith(root))
            return 0;
        path = parent;
    }
}

// True when `target` now names the file, or already named a file. A second name costs no space,
// and the save replaces the game's files by renaming, so the kept name goes on naming the old data.
bool Link(const QString &source, const QString &target)
{
#ifdef Q_OS_UNIX
    return ::linkat(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                    AT_SYMLINK_FOLLOW)
            == 0
        || errno == EEXIST;
#else
    Q_UNUSED(source);
    Q_UNUSED(target);
    return false;
#endif
}

// Copies under a name of its own first: a half-written copy must never pass for the original.
void Copy(const QString &source, const QString &target)
{
    const QString part = UnusedNameBeside(target, QStringLiteral(".part"));
    QFile original(source);
    if (!original.copy(part)) {
        QFile::remove(part);
        throw Failure(source, target, original.errorString());
    }
    const int error = Sync(part, false);
    // QFile::rename never replaces a file that is already there, which keeps a kept file as it is.
    if (error || !QFile::rename(part, target)) {
        QFile::remove(part);
        throw Failure(source, target, error ? SystemError(error) : QStringLiteral("the copy could not be renamed"));
    }
}

void KeepFile(const QString &source, const QString &target, const QString &root)
{
    // Nothing of this name in the game folder: nothing to keep, and the save says what is missing.
    if (!QFileInfo(source).isFile())
        return;
    const QFileInfo kept(target);
    if (kept.exists() || kept.isSymLink())
        return;
    const QString folder = kept.absolutePath();
    if (!QDir().mkpath(folder))
        throw Failure(source, target, QStringLiteral("its folder could not be made"));
    if (!Link(source, target))
        Copy(source, target);
    int error = Sync(target, false);
    if (!error)
        error = SyncFolders(folder, root);
    if (error)
        throw Failure(source, target, SystemError(error));
}
}

KeptOriginals::KeptOriginals(IniMetafileModel::ArchiveType type, const QString &archivePath, const QString &lookupPath)
    : type(type)
    , archivePath(QFileInfo(archivePath).absoluteFilePath())
    , lookupPath(QFileInfo(lookupPath).absoluteFilePath())
    , root(CommonFolder(archivePath, lookupPath))
{
}

bool KeptOriginals::CanRestore() const
{
    return QFileInfo(ArchivePath()).isFile() && QFileInfo(LookupFilePath()).isFile();
}

QString KeptOriginals::KeptPath(const QString &gamePath) const
{
    return QDir::cleanPath(root + QLatin1Char('/') + keptFolderName + QLatin1Char('/')
                           + QDir(root).relativeFilePath(gamePath));
}

QStringList KeptOriginals::FilesToKeep() const
{
    const QString config = QFileInfo(lookupPath).absolutePath() + QLatin1Char('/');
    // The toolkit finds an archive's place in the lookup file through the name table beside it,
    // so the kept lookup file is readable only with it. It never changes; its second name is free.
    QStringList files{lookupPath,
                      ResolvePathCase(config + (type == IniMetafileModel::SFX ? QStringLiteral("PakFiles.dat")
                                                                             : QStringLiteral("StrmPaks.dat")))};
    // Packing may grow the game's sound buffers.
    if (type == IniMetafileModel::SFX)
        files << ResolvePathCase(config + QStringLiteral("BankSlot.dat"));
    files << archivePath;
    return files;
}

void KeptOriginals::Keep() const
{
    for (const QString &file : FilesToKeep())
        KeepFile(file, KeptPath(file), root);
}

bool KeptOriginals::KeepBeforeSave(QWidget *pParent, IniMetafileModel::ArchiveType type, const QString &archivePath,
                                   const QString &lookupPath)
{
    try {
        KeptOriginals(type, archivePath, lookupPath).Keep();
        return true;
    } catch (const QString &message) {
        UserDialogs::Critical(pParent, QStringLiteral("Error"),
                              message + QStringLiteral("\nNothing in the game folder was changed."));
        return false;
    }
}
