#include "app/archive/EntryFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/CombinePath.h"
#include "app/archive/CopyOut.h"
#include "app/archive/GameArchive.h"
#include "app/archive/LoopStarts.h"
#include "app/archive/OperationFeedback.h"
#include "app/archive/WorkingDirectory.h"

namespace
{
bool Exists(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

// Moves `source` onto `target` in one step: the target never goes missing in between.
bool MoveOver(const QString &source, const QString &target)
{
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(source.toStdU16String()), std::filesystem::path(target.toStdU16String()),
                            error);
    return !error;
}

// What a replacement of `target` must become. A track keeps its own file's rate and channels, a
// sound the rate its metafile gives. Where those are unknown (a damaged old file, a metafile
// without a rate) the old file's rate and then the chosen file's stand in, so the entry can
// still be mended; the game's tracks are stereo.
AudioForm FormFor(bool bTrack, int metafileRate, const QString &target, const QString &chosen)
{
    const AudioForm old = AudioConverter::FormOf(target);
    const int rate = !bTrack && metafileRate > 0 ? metafileRate
                   : old.sampleRate > 0          ? old.sampleRate
                                                 : AudioConverter::FormOf(chosen).sampleRate;
    const int channels = !bTrack ? 1 : old.channels > 0 ? old.channels : 2;
    return AudioForm {bTrack, rate, channels};
}

// The entry as the game's original archive holds it, written into `scratch`, where the game's
// archive was saved over and its original is kept: the unpacked file may then be an earlier
// replacement. Empty where there is no kept original or the entry could not be had from it.
QString KeptOriginalEntry(const LoadedArchive &archive, const QString &entryName, const QTemporaryDir &scratch)
{
    if (!archive.TreeRow().isValid() || !archive.HasGameFolder() || !scratch.isValid())
        return QString();
    try {
        const GameArchive game(archive.TreeRow(), archive.GameFolder());
        if (!game.Originals().CanRestore())
            return QString();
        const QString extracted = scratch.filePath(FileNameOf(entryName));
        game.ExtractEntry(QString(entryName).replace(QLatin1Char('\\'), QLatin1Char('/')), extracted, true);
        return extracted;
    } catch (const QString &) {
        // Matched to the unpacked file instead: a failed look into the kept original is no reason to refuse the replace.
        return QString();
    }
}
}

EntryFiles::EntryFiles(const LoadedArchive &archive) : archive(archive)
{
}

EntryFiles::KeptOriginal EntryFiles::KeepOriginal(const QString &entryName, const QString &target) const
{
    const QString original = archive.OriginalFilePath(entryName);
    if (original.isNull())
        throw QStringLiteral("The entry's file name leads outside the archive folder.");
    // Only the first replace keeps a file: later ones would keep a replacement, not the original.
    if (Exists(QFileInfo(original)))
        return {};
    const QString failed = QStringLiteral("Failed to keep the original file as \"") + original
                         + QStringLiteral("\". Nothing was replaced.");
    if (!QDir().mkpath(QFileInfo(original).absolutePath()))
        throw failed;
    if (QFile::rename(target, original))
        return {original, true};
    if (QFile::copy(target, original))
        return {original, false};
    throw failed;
}

AudioConverter::Result EntryFiles::Replace(const QString &entryName, const QString &target, const QString &chosen,
                                           int metafileRate, double trimSeconds, OperationFeedback &feedback,
                                           bool bMatchLoudness) const
{
    const bool bTrack = archive.Type() != IniMetafileModel::SFX;
    AudioConverter::Result result {AudioConverter::Outcome::Done, QString()};
    KeptOriginal kept;
    try {
        const QString unreadable = AudioConverter::UnreadableReason(chosen);
        if (!unreadable.isNull())
            throw QStringLiteral("The chosen file is not audio that can be read: ") + unreadable;
        const QString deleteFailed = QStringLiteral("Failed to delete old file: ");
        // The old file must be there: a replace never creates an entry's file from nothing.
        if (!QFileInfo(target).isFile())
            throw deleteFailed + target;
        // Read from the old file before it moves into the originals folder.
        AudioForm form = FormFor(bTrack, metafileRate, target, chosen);
        form.maxFrames = std::llround(trimSeconds * form.sampleRate);
        kept = KeepOriginal(entryName, target);
        if (form.maxFrames > 0 || !AudioConverter::HasForm(chosen, form)) {
            // Holds the kept original's entry while the conversion measures it.
            std::optional<QTemporaryDir> scratch;
            if (bMatchLoudness) {
                scratch.emplace();
                form.loudnessReference = KeptOriginalEntry(archive, entryName, *scratch);
                if (form.loudnessReference.isEmpty())
                    form.loudnessReference = archive.OriginalFilePath(entryName);
            }
            result = feedback.Convert(chosen, target, form);
        } else {
            QString backup;
            switch (CopyOut::CopyOver(chosen, target, backup)) {
            case CopyOut::CopyResult::Copied:
                break;
            case CopyOut::CopyResult::OldNotMoved:
                throw deleteFailed + target;
            case CopyOut::CopyResult::CopyFailed:
                throw QStringLiteral("Failed to copy new file to working directory.");
            case CopyOut::CopyResult::OldNotRemoved:
                throw deleteFailed + backup;
            }
        }
    } catch (const QString &message) {
        result = {AudioConverter::Outcome::Failed, message};
    }
    if (result.outcome != AudioConverter::Outcome::Done && !kept.path.isEmpty()
        && !(kept.bMoved ? MoveOver(kept.path, target) : QFile::remove(kept.path)))
        result.message += QStringLiteral("\nThe original file is kept as \"") + kept.path + QStringLiteral("\".");
    return result;
}

EntryFiles::Reverted EntryFiles::Revert(const QStringList &entryNames) const
{
    Reverted reverted;
    for (const QString &name : entryNames) {
        const QString target = archive.FilePath(name);
        const QString original = archive.OriginalFilePath(name);
        if (target.isNull() || original.isNull() || !QFileInfo(original).isFile())
            continue;
        if (!MoveOver(original, target)) {
            reverted.failed << target;
            continue;
        }
        ++reverted.count;
        // Empty folders of the originals go with their last file; a folder still in use stays.
        QString folder = QFileInfo(original).absolutePath();
        while (folder.startsWith(archive.OriginalsFolder()) && QDir().rmdir(folder))
            folder = QFileInfo(folder).absolutePath();
    }
    return reverted;
}

QSet<QString> EntryFiles::Changed() const
{
    const QStringList names = ChangedEntries(archive.Folder());
    return QSet<QString>(names.begin(), names.end());
}

bool EntryFiles::ForgetOriginals(const QString &archiveFolder)
{
    // The loop starts as unpacked are the archive's own again too.
    const QString loopOriginals = QFileInfo(LoopStarts(CombinePath(archiveFolder, QStringLiteral("sfx_import.ini"))).OriginalPath()).path();
    if (QFileInfo::exists(loopOriginals) && !WorkingDirectory::RemoveFolder(loopOriginals))
        return false;
    const QFileInfo originals(CombinePath(archiveFolder, QStringLiteral(".originals")));
    return !(originals.exists() || originals.isSymLink()) || WorkingDirectory::RemoveFolder(originals.filePath());
}
