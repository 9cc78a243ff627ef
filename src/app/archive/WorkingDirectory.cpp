#include "app/archive/WorkingDirectory.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "app/archive/LoadedArchive.h"
#include "app/archive/OperationFeedback.h"
#include "tree/TreeItem.h"

WorkingDirectory::WorkingDirectory(const QString &path, const QString &gameFolder) : path(path), gameFolder(gameFolder)
{
}

WorkingDirectory::State WorkingDirectory::Check() const
{
    if (path.isEmpty())
        return State::NotSet;
    if (!QDir(path).exists())
        return State::Missing;
    // The game's own folders must never be taken for unpacked archives.
    if (FoldersOverlap(path, gameFolder))
        return State::OverlapsGameFolder;
    return State::Usable;
}

QStringList WorkingDirectory::UnpackedFolders(const QSet<QString> &archiveNames, QStringList &kept) const
{
    const QDir directory(path);
    QStringList folders;
    for (const QString &name : directory.entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString folder = directory.absolutePath() + QLatin1Char('/') + name;
        if (archiveNames.contains(name) || QFileInfo(folder + QStringLiteral("/sfx_import.ini")).isFile()
            || QFileInfo(folder + QStringLiteral("/stream_import.ini")).isFile())
            folders << name;
        else
            kept << name;
    }
    return folders;
}

QList<WorkingDirectory::ChangedFolder> WorkingDirectory::ChangedFolders(const QStringList &folders,
                                                                      const QList<GameArchive> &archives) const
{
    const QDir directory(path);
    QList<ChangedFolder> changed;
    for (const QString &name : folders) {
        const QString folder = directory.absoluteFilePath(name);
        const auto archive = std::find_if(archives.begin(), archives.end(),
                                          [&name](const GameArchive &candidate) { return candidate.Name() == name; });
        const qsizetype count = QFileInfo(folder).isSymLink() ? 0
                              : archive != archives.end() ? archive->NotSavedIn(folder)
                                                          : ChangedEntries(folder).size();
        if (count > 0)
            changed.append({name, count});
    }
    return changed;
}

bool WorkingDirectory::Clear(OperationFeedback &feedback, const QSet<QString> &archiveNames,
                             const QList<GameArchive> &archives, bool bPlaying,
                             const std::function<void()> &beforeRemoving) const
{
    const State state = Check();
    if (state == State::NotSet) {
        feedback.Inform(QStringLiteral("Information"), QStringLiteral("No working directory was specified."));
        return false;
    }
    if (state == State::Missing) {
        feedback.Warn(QStringLiteral("Warning"), QStringLiteral("Working directory doesn't exists."));
        return false;
    }
    if (bPlaying) {
        feedback.Inform(QStringLiteral("Warning"), QStringLiteral("Please stop the player before clearing your working directory."));
        return false;
    }
    if (state == State::OverlapsGameFolder) {
        feedback.Fail(QStringLiteral("The working directory is, holds or lies inside the game folder. Nothing was deleted."));
        return false;
    }
    // Only what unpacking made goes; anything else in the folder is the user's.
    QStringList kept;
    const QStringList folders = UnpackedFolders(archiveNames, kept);
    QStringList changed;
    for (const ChangedFolder &folder : ChangedFolders(folders, archives))
        changed << QStringLiteral("%1: %2 entries").arg(folder.name).arg(folder.entries);
    if (!changed.isEmpty()
        && !feedback.Ask(QStringLiteral("Warning"),
                         QStringLiteral("Entries of these archives were replaced in the working directory and are lost "
                                        "when it is cleared:\n")
                             + changed.join(QLatin1Char('\n')) + QStringLiteral("\nClear it anyway?")))
        return false;
    if (!feedback.Confirm(QStringLiteral("Warning"), QStringLiteral("All files inside your working directory (") + path
                                                         + QStringLiteral(") will be deleted.\nDo you want continue?")))
        return false;

    beforeRemoving();
    const bool bRemovedAll = Remove(folders);
    if (!kept.isEmpty())
        feedback.Inform(QStringLiteral("Information"),
                        QStringLiteral("These folders were kept because they hold no unpacked archive:\n")
                            + kept.join(QLatin1Char('\n')));
    if (!bRemovedAll)
        feedback.Fail(QStringLiteral("Failed to clear working directory."));
    return bRemovedAll;
}

bool WorkingDirectory::Remove(const QStringList &folders) const
{
    if (Check() != State::Usable)
        return false;
    const QDir directory(path);
    bool bRemovedAll = true;
    for (const QString &name : folders) {
        // A name that climbs out would remove what is not ours.
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String(".")
            || name == QLatin1String("..") || !RemoveFolder(directory.absoluteFilePath(name)))
            bRemovedAll = false;
    }
    return bRemovedAll;
}

bool WorkingDirectory::RemoveFolder(const QString &path)
{
    // A link is removed as a link: what it points to may lie anywhere and is not ours.
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return QFile::remove(path) || QDir().rmdir(path);
    const QDir folder(path);
    return RemoveSubdirectories(folder) && RemoveFiles(folder) && QDir().rmdir(path);
}

bool WorkingDirectory::RemoveSubdirectories(const QDir &directory)
{
    bool bRemovedAll = true;
    // Hidden folders too: the kept originals live in one, and left behind it would keep its
    // archive folder from going.
    const QStringList names = directory.entryList(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names) {
        if (!RemoveFolder(directory.absolutePath() + QLatin1Char('/') + name))
            bRemovedAll = false;
    }
    return bRemovedAll;
}

bool WorkingDirectory::RemoveFiles(const QDir &directory)
{
    bool bRemovedAll = true;
    // Hidden files count too: left behind, they would keep their folder from being removed.
    const QStringList names = directory.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString &name : names) {
        if (!QFile::remove(directory.path() + QLatin1Char('/') + name))
            bRemovedAll = false;
    }
    return bRemovedAll;
}

QSet<QString> WorkingDirectory::FolderNamesOf(const QAbstractItemModel *pTree, const QModelIndex &parent)
{
    QSet<QString> names;
    for (int row = 0; pTree && row < pTree->rowCount(parent); ++row) {
        const QModelIndex index = pTree->index(row, 0, parent);
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if (!item)
            continue;
        if (item->ChildCount() > 0) {
            names.unite(FolderNamesOf(pTree, index));
        } else {
            names.insert(item->GetName());
            names.insert(FileNameOf(item->GetArchivePath()));
        }
    }
    return names;
}
