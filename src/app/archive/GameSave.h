#pragma once
#include <QString>
#include <QStringList>

#include "metafile/IniMetafileModel.h"

class KeptOriginals;
class OperationFeedback;

// Writes an unpacked archive back into the game folder: the toolkit packs it into
// "<archive>.new" and rewrites the lookup file, then the new archive takes the old one's place.
// Whatever fails, the game folder is left with an archive and a lookup file that belong together:
// the save holds the lock beside the lookup file throughout, hands it to the tool, and keeps a
// journal beside it from which a save cut off by a crash is undone or completed at the next start.
class GameSave
{
public:
    // True when the new archive stands in the old one's place; `warnings` then holds what the
    // tool reported on the way. On failure the reason has been told through `feedback`.
    static bool Run(OperationFeedback &feedback, IniMetafileModel::ArchiveType type, const QString &metafilePath,
                    const QString &archivePath, const QString &lookupPath, QString &warnings);

    // Puts the kept original archive back in the game's one's place, with its records as the kept
    // lookup file holds them, through the same lock and journal: nothing of the game's archive is
    // read, so a damaged one is restored as well. True when it stands; `warnings` then holds what
    // the records' writing warned of. On failure the reason has been told through `feedback`.
    static bool PutBack(OperationFeedback &feedback, const KeptOriginals &originals, QString &warnings);

    // Finishes or undoes a save into this lookup file that was cut off, and tells through `feedback` which.
    // Does nothing while another save holds the lock, or when there is nothing to repair. A journal
    // that names none of archivePaths (the archives the configuration gives this lookup file) is
    // refused like a damaged one.
    static void RepairInterrupted(OperationFeedback &feedback, const QString &lookupPath, const QStringList &archivePaths);
};
