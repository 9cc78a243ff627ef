#pragma once
#include <QList>
#include <QModelIndex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

#include "app/archive/GameArchive.h"

class QAbstractItemModel;
class QDir;
class OperationFeedback;

// The folder the toolkit unpacks archives into: which of its folders are unpacked archives, what
// of them was replaced, and clearing them. Everything else in it is the user's and stays.
class WorkingDirectory
{
public:
    // `path` as the user set it (may be empty); `gameFolder` the game folder, or empty.
    WorkingDirectory(const QString &path, const QString &gameFolder);

    enum class State
    {
        Usable,
        NotSet,
        Missing,
        OverlapsGameFolder   // is, holds or lies inside the game folder: nothing may go
    };
    State Check() const;

    // A folder of unpacked archives with entries replaced, and how many.
    struct ChangedFolder
    {
        QString name;
        qsizetype entries = 0;
    };
    // The folders unpacking made: those with a metafile, or named like an archive in
    // `archiveNames` (an unpacking that was stopped). The others are listed in `kept`.
    // The names the toolkit gives the folders it unpacks the archives of an archive tree into:
    // their tree names (file or station names) and their file names.
    static QSet<QString> FolderNamesOf(const QAbstractItemModel *pTree, const QModelIndex &parent = QModelIndex());
    QStringList UnpackedFolders(const QSet<QString> &archiveNames, QStringList &kept) const;
    // The folders among `folders` with entries not saved into the game: for a folder named as one
    // of `archives`, those that differ from that archive now, else those replaced since
    // unpacking. A linked folder loses nothing, as only the link goes.
    QList<ChangedFolder> ChangedFolders(const QStringList &folders, const QList<GameArchive> &archives = {}) const;
    // Clears what unpacking made in the folder, as the window's command does: tells through
    // `feedback` why it cannot (not set, missing, `bPlaying`, overlapping the game folder), asks
    // first when entries not saved into the game are lost (see ChangedFolders) and once more
    // before anything goes, calls `beforeRemoving`, removes the folders and tells what was kept or
    // failed. True when all of them went.
    bool Clear(OperationFeedback &feedback, const QSet<QString> &archiveNames, const QList<GameArchive> &archives,
               bool bPlaying, const std::function<void()> &beforeRemoving) const;
    // Removes the named folders of the working directory, a link as a link. Removes nothing unless
    // Check() says it is usable; false when anything is left.
    bool Remove(const QStringList &folders) const;

    // A folder with all it holds; a link goes as a link, what it points to stays.
    static bool RemoveFolder(const QString &path);
    static bool RemoveSubdirectories(const QDir &directory);
    static bool RemoveFiles(const QDir &directory);

private:
    QString path;
    QString gameFolder;
};
