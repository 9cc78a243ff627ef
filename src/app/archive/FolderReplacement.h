#pragma once
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "app/archive/FolderReplace.h"
#include "app/archive/SoundBufferGrowth.h"

class OpenedArchive;
class OperationFeedback;

// Many files put in place of the open archive's entries at once: which file goes where, and then
// each in turn, whole or not at all, until the user stops between two.
class FolderReplacement
{
public:
    // Pairs the files at `paths` with the entries that `names` (the same files, as names relative
    // to what the user chose) name. A file that already is its entry's file is left unmatched.
    FolderReplacement(OpenedArchive &archive, const QStringList &names, const QStringList &paths);

    // Entry name and file name of each match, in entry order; and the files that match none.
    const QList<QPair<QString, QString>> &Rows() const { return rows; }
    const QList<FolderReplace::Mismatch> &Unmatched() const { return plan.unmatched; }
    // The replacements as the sound buffer's questions take them.
    const QList<SoundBufferGrowth::Planned> &Planned() const { return planned; }

    struct Result
    {
        int replaced = 0;
        bool bAborted = false;
        QStringList refused;    // "<entry> <- <file>: <reason>"
        QStringList notes;      // "<entry>: <gain and loop start, as the strip shows them>"
    };
    // Replaces every matched entry, each cut after `trimSeconds` of its file where given. An entry
    // that plays, or whose file lies outside the archive folder, is refused. With `bMatchLoudness`
    // each converted file gets its original's loudness.
    Result Run(const QHash<QString, double> &trimSeconds, OperationFeedback &feedback, bool bMatchLoudness = false) const;

private:
    OpenedArchive &archive;
    FolderReplace::Plan plan;
    QList<QPair<QString, QString>> rows;
    QList<SoundBufferGrowth::Planned> planned;
};
