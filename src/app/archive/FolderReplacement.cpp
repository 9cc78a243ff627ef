#include "app/archive/FolderReplacement.h"

#include "app/archive/EntryFiles.h"
#include "app/archive/OpenedArchive.h"
#include "app/archive/OperationFeedback.h"
#include "metafile/IniMetafileItem.h"

FolderReplacement::FolderReplacement(OpenedArchive &archive, const QStringList &names, const QStringList &paths)
    : archive(archive)
{
    const bool bTracks = archive.Archive()->Type() != IniMetafileModel::SFX;
    plan = FolderReplace::MatchFiles(names, bTracks, archive.Names(),
                                     [&archive](const FolderReplace::EntryKey &key) { return archive.IndexOf(key).isValid(); });
    // A name that matched is unique among `names`: files that share an entry never match.
    QHash<QString, QString> pathOf;
    for (qsizetype i = 0; i < names.size(); ++i)
        pathOf.insert(names[i], paths[i]);
    for (qsizetype i = 0; i < plan.matches.size(); ++i) {
        const FolderReplace::Match &match = plan.matches[i];
        const QModelIndex index = archive.IndexOf(match.entry);
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        if (FolderReplace::SameFile(pathOf.value(match.file), archive.FilePath(index))) {
            plan.unmatched.append({match.file, QStringLiteral("it is the entry's own file")});
            plan.matches.removeAt(i--);
            continue;
        }
        rows.append({item->GetName(), match.file});
        planned.append({item->GetName(), archive.FilePath(index), pathOf.value(match.file), item->GetSampleRate()});
    }
}

FolderReplacement::Result FolderReplacement::Run(const QHash<QString, double> &trimSeconds, OperationFeedback &feedback,
                                                bool bMatchLoudness) const
{
    Result result;
    const int total = int(rows.size());
    for (int i = 0; i < total && !result.bAborted; ++i) {
        if (!feedback.Step(i, total, QStringLiteral("Replacing ") + rows[i].first + QStringLiteral("..."))) {
            result.bAborted = true;
            break;
        }
        // Asked anew for each: playback may have started while the files before went in.
        const QModelIndex index = archive.IndexOf(plan.matches[i].entry);
        const QString target = archive.FilePath(index);
        const QString line = rows[i].first + QStringLiteral(" <- ") + rows[i].second + QStringLiteral(": ");
        if (target.isNull()) {
            result.refused << line + QStringLiteral("the entry's file name leads outside the archive folder");
            continue;
        }
        if (archive.IsPlaying(index)) {
            result.refused << line + QStringLiteral("it is playing");
            continue;
        }
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        const AudioConverter::Result replaced = EntryFiles(*archive.Archive()).Replace(
            item->GetName(), target, planned[i].chosen, item->GetSampleRate(), trimSeconds.value(target), feedback,
            bMatchLoudness);
        result.bAborted = replaced.outcome == AudioConverter::Outcome::Aborted;
        if (replaced.outcome == AudioConverter::Outcome::Done) {
            ++result.replaced;
            const QString note = archive.Replaced(index, replaced.gainDb);
            if (!note.isEmpty())
                result.notes << rows[i].first + QStringLiteral(": ") + note;
        }
        else if (replaced.outcome == AudioConverter::Outcome::Failed)
            result.refused << line + replaced.message;
    }
    feedback.Step(total, total, QString());
    archive.MarkChanges();
    return result;
}
