#pragma once
#include "metafile/IniMetafileModel.h"

#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

class TreeItem;

// The archive the entry list shows: where its unpacked files lie and where it goes back into the
// game. Made once when a load succeeds; every command that acts on the list takes its paths from
// here, so a new working directory, another selected tree row or a second archive unpacked into
// the same folder can never make two commands disagree about which archive they act on.
class LoadedArchive
{
public:
    // `metafilePath` is the metafile just read; `treeRow` the archive-tree row it was loaded for
    // (invalid when there is none, as for a folder loaded directly); `gameFolder` the game folder
    // at the time of loading.
    LoadedArchive(IniMetafileModel::ArchiveType type, const QString &metafilePath, const QModelIndex &treeRow,
                  const QString &gameFolder);

    IniMetafileModel::ArchiveType Type() const { return type; }
    const QString &Folder() const { return folder; }            // absolute, cleaned
    const QString &MetafilePath() const { return metafilePath; }
    const QPersistentModelIndex &TreeRow() const { return treeRow; }

    // The file of an entry; null when its name leads outside the archive's folder.
    QString FilePath(const QString &entryName) const;

    // Where the first replace of an entry keeps the file unpacking wrote: the hidden folder
    // ".originals" of the archive folder, at the entry's own relative path. A file there is what
    // marks the entry as changed. Null when the name leads outside the archive's folder.
    QString OriginalsFolder() const;
    QString OriginalFilePath(const QString &entryName) const;

    // The key of an entry's description: the tree names from the root down to the archive, then
    // the entry's name, joined with '\'. Empty without a tree row.
    QString VirtualPath(const QString &entryName) const;

    // Game-folder paths; null without a tree row. The game folder is the one the archive was
    // loaded from; SetGameFolder fills it in when none was set then.
    bool HasGameFolder() const { return !gameFolder.isEmpty(); }
    const QString &GameFolder() const { return gameFolder; }
    void SetGameFolder(const QString &path) { gameFolder = path; }
    QString ArchivePath() const;
    QString LookupFilePath() const;

private:
    IniMetafileModel::ArchiveType type;
    QString folder;
    QString metafilePath;
    QPersistentModelIndex treeRow;
    QString virtualPathPrefix;
    QString relativeArchivePath;
    QString relativeLookupFilePath;
    QString gameFolder;
};

// The entries replaced in an unpacked archive's folder: the names, relative to the folder, of the
// originals kept in its ".originals" folder. Empty when none is kept.
QStringList ChangedEntries(const QString &archiveFolder);

// The metafile's name for an archive of that type: "sfx_import.ini" or "stream_import.ini".
QString MetafileName(IniMetafileModel::ArchiveType type);

// The basename a metafile gives its archive; null when the file cannot be read or has none.
QString ReadMetafileBasename(IniMetafileModel::ArchiveType type, const QString &metafilePath);

// The last part of a path, whichever separator it was written with: "GENRL" for audio/SFX/GENRL.
QString FileNameOf(const QString &path);

// A name beside `path` that nothing uses yet: path + suffix, then with 1, 2, ... appended. A
// dangling link counts as used.
QString UnusedNameBeside(const QString &path, const QString &suffix);

// Whether `path` lies below `folder`, by their names alone: both absolute and clean.
bool LiesInside(const QString &path, const QString &folder);

// Whether one of the two existing folders is the other or lies inside it, through links too.
bool FoldersOverlap(const QString &first, const QString &second);

// Whether a metafile's basename names the archive at `archivePath`: equal to its file name,
// ignoring case, with or without the file name's extension.
bool BasenameNamesArchive(const QString &basename, const QString &archivePath);
