#pragma once
#include <QHash>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/archive/CopyOut.h"
#include "app/archive/EntryFiles.h"
#include "app/archive/EntryStates.h"
#include "app/archive/FolderReplace.h"
#include "app/archive/LoadedArchive.h"
#include "metafile/IniMetafileModel.h"

// The archive the entry list shows: the model of its entries and where its files lie. Open() is
// the one place that sets what is open, so the list, the commands and the marks can never speak of
// two archives. The file that plays is known here too: a reload must not make it replaceable.
class OpenedArchive
{
public:
    // Opens `model` with `archive`; nothing is open when either is missing. The model that was
    // open goes now: whoever showed it must have let go of it.
    void Open(std::unique_ptr<IniMetafileModel> model, std::optional<LoadedArchive> archive);

    // Null while nothing is open.
    IniMetafileModel *Model() const { return model.get(); }
    LoadedArchive *Archive() { return archive ? &*archive : nullptr; }
    const LoadedArchive *Archive() const { return archive ? &*archive : nullptr; }

    // The file of an entry of the open model; null when `index` is none of its entries, or the
    // entry's name leads outside the archive's folder.
    QString FilePath(const QModelIndex &index) const;
    // The entry a file name's numbers name; invalid when the archive has none such.
    QModelIndex IndexOf(const FolderReplace::EntryKey &key) const;
    // The entries `selected` names, a bank standing for all its sounds.
    QModelIndexList EntriesOf(const QModelIndexList &selected) const;
    // The names a folder of replacements may give this archive: its folder's, the metafile's and
    // the archive's file name.
    QStringList Names() const;

    // The selected entries as copying out takes them.
    QList<CopyOut::Entry> CopyOutEntries(const QModelIndexList &selected) const;
    // Puts the originals of the changed `entries` back and marks them again.
    EntryFiles::Reverted Revert(const QModelIndexList &entries);

    // What the marks were measured against.
    struct Marks
    {
        bool bCompared = false;      // the game's archive and its kept original, through the toolkit's listings
        bool bOriginalKept = false;  // false: the game's archive as it is now stands for the original
        QString problem;             // why they were not; then the entries replaced since unpacking are marked
    };
    // Marks the entries that differ from the game's original as changed, and those that differ
    // from the game's archive as not saved.
    Marks MarkChanges();
    // A file holding the original of a changed entry: where the marks were compared, taken out of
    // the kept original (or the game's archive) into a scratch folder that lives while the archive
    // is open; else the file its first replace kept. Null for an entry not changed. Throws a
    // QString when the tool fails.
    QString OriginalOf(const QModelIndex &index);
    // The bank and place of a sound of the open SFX archive; invalid for anything else.
    FolderReplace::EntryKey SoundKey(const QModelIndex &index) const;
    // Stores the sound's loop start (-1: it does not loop) in the metafile and the list. Returns
    // why it could not, or a null string.
    QString SetLoopStart(const QModelIndex &index, qint64 frame);
    // The sound's loop start in the game's original (where the marks are compared with the game),
    // else before this program changed it; -1 where it did not loop.
    qint64 OriginalLoopStart(const QModelIndex &index) const;

    // After a replace of the entry at `index` that applied `gainDb` to match the original's
    // loudness: a looping sound now shorter than its loop start loops from its start. Returns and
    // keeps what the strip says about the entry until its next replace ("" when nothing).
    QString Replaced(const QModelIndex &index, double gainDb);
    QString ReplaceNote(const QModelIndex &index) const;


    // What plays: an entry, and its file, which stays known across a reload of the archive.
    void SetPlaying(const QModelIndex &index, const QString &filePath);
    void ForgetPlaying();
    // Whether the entry plays, or its file or its kept original does.
    bool IsPlaying(const QModelIndex &index) const;
    bool IsPlayingFile(const QString &filePath) const;

private:
    std::unique_ptr<IniMetafileModel> model;
    std::optional<LoadedArchive> archive;
    QPersistentModelIndex playingIndex;
    QString playingFile;
    std::optional<EntryStates> states;       // while the marks are compared with the game
    QHash<QString, qint64> originalLoops;    // the sounds' loop starts in the game's original, by listed name
    std::unique_ptr<QTemporaryDir> scratch;  // originals taken out to be played
    QHash<QString, QString> replaceNotes;  // by entry file
};
