#include "app/KeptOriginals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "app/UserDialogs.h"
#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
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

// The folder and every folder above it up to `root`: a folder made for the kept file is only
// found after a crash when its parent's entry is on disk too. Throws FormatError.
void SyncFolders(const QString &folder, const QString &root)
{
    QString path = QDir::cleanPath(folder);
    for (;;) {
        kivo::BinaryFile::SyncFolder(ToolkitPath(path));
        const QString parent = QFileInfo(path).absolutePath();
        if (path == root || parent == path || !parent.startsWith(root))
            return;
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
    try {
        if (Link(source, target))
            kivo::BinaryFile(ToolkitPath(target), kivo::BinaryFile::Mode::Read).Sync();
        else  // a half-written copy must never pass for the original
            kivo::CopySynced(ToolkitPath(source), ToolkitPath(target));
        SyncFolders(folder, root);
    } catch (const kivo::FormatError &error) {
        throw Failure(source, target, QString::fromLocal8Bit(error.what()));
    }
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
