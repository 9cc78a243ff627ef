#pragma once
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

#include "app/archive/EntryStates.h"
#include "app/archive/KeptOriginals.h"
#include "metafile/IniMetafileModel.h"

class OperationFeedback;
class TreeItem;
class TreeModel;

// An archive of the archive tree in the game folder, with its paths spelt as they are on disk (a
// game folder copied from Windows may spell its names in another case), and what is done to the
// game's copy of it beyond a save: repair and restore.
class GameArchive
{
public:
    // The archive at `treeRow`, an SFX or STREAM leaf of the tree. Throws a QString when two names
    // on its paths differ only in case.
    GameArchive(const QModelIndex &treeRow, const QString &gameFolder);
    // The same for an archive's item, at `treeRow` when that is known.
    GameArchive(const TreeItem &item, const QString &gameFolder, const QModelIndex &treeRow = QModelIndex());
    // Every SFX and STREAM archive of `tree`, in tree order. Those whose names are ambiguous are
    // left out, and their messages added to `pErrors`.
    static QList<GameArchive> AllOf(const TreeModel &tree, const QString &gameFolder, QStringList *pErrors = nullptr);

    const QPersistentModelIndex &TreeRow() const { return treeRow; }
    const QString &Name() const { return name; }
    IniMetafileModel::ArchiveType Type() const { return type; }
    const QString &ArchivePath() const { return archivePath; }
    const QString &LookupFilePath() const { return lookupPath; }
    KeptOriginals Originals() const { return KeptOriginals(type, archivePath, lookupPath); }

    // Unpacks the archive into a folder of `workingDirectory` named as it is in the tree, its
    // tracks named by the station names in `stationNameFile` unless that is null. False when the
    // tool failed and has said why; `warnings` then holds what it warned of.
    bool Unpack(const QString &workingDirectory, const QString &stationNameFile, QString &warnings) const;

    // How many entries of `folder`, where it was unpacked, differ from the game's archive now;
    // where the two cannot be compared, how many were replaced there since unpacking.
    qsizetype NotSavedIn(const QString &folder) const;

    // Writes one entry ("Bank_001/sound_002.wav", "Track_003.ogg") as unpacking would write it to
    // `outputFile`, out of the kept original when `bKeptOriginal`, else out of the game's archive,
    // without unpacking the rest. Throws a QString saying why it failed; the file then does not
    // appear.
    void ExtractEntry(const QString &entry, const QString &outputFile, bool bKeptOriginal,
                      const EntryStates::ToolRunner &runner = EntryStates::RunToolkit) const;

    // False after telling through `feedback` that no original of it is kept, or when the user
    // declined to put it back.
    bool MayRestore(OperationFeedback &feedback) const;
    // Leaves in `archives` those whose originals are kept; false after telling that none is, or
    // when the user declined to put them all back.
    static bool AgreedToRestoreAll(OperationFeedback &feedback, QList<GameArchive> &archives);

    // Puts the kept original back into the game folder with its records as the kept lookup file
    // holds them, so that of the current lookup file only this archive's records change. False
    // when it failed (told through `feedback`).
    bool RestoreOriginal(OperationFeedback &feedback, QString &warnings) const;

    // Puts the kept originals of `restored` back, one save each as the user's saves were made, then
    // BankSlot.dat once for them all (its slots are shared by every SFX archive of a lookup file)
    // as the SFX archives among `all` hold them now. False when one failed (told through
    // `feedback`) or was aborted; `warnings` gathers what the tools warned of.
    static bool RestoreOriginals(OperationFeedback &feedback, const QList<GameArchive> &restored,
                                 const QList<GameArchive> &all, QString &warnings);

    // After a restore of SFX archives: BankSlot.dat as kept with `originals`, grown for what the
    // SFX archives among `archives` that share its lookup file hold now. False after telling why.
    static bool RestoreBankSlots(OperationFeedback &feedback, const KeptOriginals &originals,
                                 const QList<GameArchive> &archives);

    // Finishes or undoes the saves into the lookup files of `archives` that a crash cut off. A
    // journal may name only the archives the configuration gives its lookup file.
    static void RepairInterruptedSaves(OperationFeedback &feedback, const QList<GameArchive> &archives);

private:
    QPersistentModelIndex treeRow;
    QString name;
    IniMetafileModel::ArchiveType type = IniMetafileModel::SFX;
    QString archivePath;
    QString lookupPath;
};
