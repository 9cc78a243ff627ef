#include "app/MainWindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSet>
#include <QStatusBar>
#include <QLabel>
#include <QTreeView>

#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/CombinePath.h"
#include "app/ConversionDialog.h"
#include "app/LoadedArchive.h"
#include "dialogs/UserDialogs.h"
#include "audio/AudioConverter.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
enum class CopyResult
{
    Copied,
    OldNotMoved,    // the file at the target could not be moved aside; nothing changed
    CopyFailed,     // the copy failed; the old file, if any, is back in its place
    OldNotRemoved   // the copy is in place, but the old file stays at the backup name
};

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

// Puts a copy of `source` at `target`. A file already at the target is moved aside first and
// put back when the copy fails, so a failed copy never costs the file that was there.
CopyResult CopyOver(const QString &source, const QString &target, QString &backup)
{
    backup.clear();
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir() && !targetInfo.isSymLink())
        return CopyResult::OldNotMoved;
    if (Exists(targetInfo)) {
        backup = UnusedNameBeside(target, QStringLiteral(".old"));
        if (!QFile::rename(target, backup)) {
            backup.clear();
            return CopyResult::OldNotMoved;
        }
    }
    if (!QFile::copy(source, target)) {
        if (!backup.isEmpty())
            QFile::rename(backup, target);
        return CopyResult::CopyFailed;
    }
    if (!backup.isEmpty() && !QFile::remove(backup))
        return CopyResult::OldNotRemoved;
    return CopyResult::Copied;
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

// The names the toolkit gives the folders it unpacks archives of the tree into: their tree names
// (file or station names) and their file names.
QSet<QString> ArchiveFolderNames(const QAbstractItemModel *pModel, const QModelIndex &parent = QModelIndex())
{
    QSet<QString> names;
    for (int row = 0; pModel && row < pModel->rowCount(parent); ++row) {
        const QModelIndex index = pModel->index(row, 0, parent);
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if (!item)
            continue;
        if (item->ChildCount() > 0) {
            names.unite(ArchiveFolderNames(pModel, index));
        } else {
            names.insert(item->GetName());
            names.insert(FileNameOf(item->GetArchivePath()));
        }
    }
    return names;
}

// The folders of `directory` that unpacking made: those with a metafile, or named like an archive
// of the tree (an unpacking that was stopped). The others, the user's, are listed in `kept`.
QStringList UnpackedFolders(const QDir &directory, const QSet<QString> &archiveNames, QStringList &kept)
{
    QStringList folders;
    for (const QString &name : directory.entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = directory.absolutePath() + QLatin1Char('/') + name;
        if (archiveNames.contains(name) || QFileInfo(path + QStringLiteral("/sfx_import.ini")).isFile()
            || QFileInfo(path + QStringLiteral("/stream_import.ini")).isFile())
            folders << name;
        else
            kept << name;
    }
    return folders;
}

// "GENRL: 3 entries" for each folder with replaced entries; a linked folder loses nothing, as only
// the link goes.
QStringList ChangedFolders(const QDir &directory, const QStringList &folders)
{
    QStringList changed;
    for (const QString &name : folders) {
        const QString path = directory.absoluteFilePath(name);
        const qsizetype count = QFileInfo(path).isSymLink() ? 0 : ChangedEntries(path).size();
        if (count > 0)
            changed << QStringLiteral("%1: %2 entries").arg(name).arg(count);
    }
    return changed;
}

QModelIndexList SelectedIndexes(const QTreeView *view)
{
    const QItemSelectionModel *selection = view->selectionModel();
    return selection ? selection->selectedIndexes() : QModelIndexList();
}
}

void MainWindow::Replace()
{
    // The current entry, not the first of a range: that is the one the user last put the cursor on.
    const QModelIndex index = entryView->currentIndex();
    const QItemSelectionModel *selection = entryView->selectionModel();
    if (!selection || !selection->isSelected(index)) {
        UserDialogs::Information(this, QStringLiteral("Nothing selected"),
                                 QStringLiteral("Please select the item that should be replaced."));
        return;
    }
    const QString target = EntryFilePath(index);
    // Refused before the file dialog: the user should not pick a file for nothing.
    if (!MayReplace(index, target))
        return;

    const bool bTrack = loadedArchive->Type() != IniMetafileModel::SFX;
    // Every kind Replace reads first: the entry's own kind alone would hide the MP3 and FLAC files.
    const QString filter = QStringLiteral("Audio files (*.wav *.ogg *.oga *.flac *.mp3 *.opus *.aif *.aiff);;")
                         + (bTrack ? QStringLiteral("OGG-File (*.ogg)") : QStringLiteral("WAV-File (*.wav)"))
                         + QStringLiteral(";;All files (*)");
    const QString chosen = UserDialogs::OpenFileName(this, QString(), lastImportDirectory, filter);
    if (chosen.isEmpty())
        return;
    lastImportDirectory = QFileInfo(chosen).absolutePath();

    ReplaceAndReport(index, target, chosen);
}

AudioConverter::Result MainWindow::ReplaceEntryFile(const QModelIndex &index, const QString &target, const QString &chosen,
                                                    double trimSeconds)
{
    const bool bTrack = loadedArchive->Type() != IniMetafileModel::SFX;
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
        AudioForm form = FormFor(bTrack, IniMetafileModel::ItemOf(index)->GetSampleRate(), target, chosen);
        form.maxFrames = std::llround(trimSeconds * form.sampleRate);
        kept = KeepOriginal(IniMetafileModel::ItemOf(index)->GetName(), target);
        if (form.maxFrames > 0 || !AudioConverter::HasForm(chosen, form)) {
            ConversionDialog dialog(this);
            result = dialog.Run(chosen, target, form);
        } else {
            QString backup;
            switch (CopyOver(chosen, target, backup)) {
            case CopyResult::Copied:
                break;
            case CopyResult::OldNotMoved:
                throw deleteFailed + target;
            case CopyResult::CopyFailed:
                throw QStringLiteral("Failed to copy new file to working directory.");
            case CopyResult::OldNotRemoved:
                throw deleteFailed + backup;
            }
        }
    } catch (const QString &message) {
        result = {AudioConverter::Outcome::Failed, message};
    }
    // Whatever stopped the replace, the entry keeps its file and is not marked.
    if (result.outcome != AudioConverter::Outcome::Done && !kept.path.isEmpty()
        && !(kept.bMoved ? MoveOver(kept.path, target) : QFile::remove(kept.path)))
        result.message += QStringLiteral("\nThe original file is kept as \"") + kept.path + QStringLiteral("\".");
    UpdateChangeMarks();
    return result;
}

MainWindow::KeptOriginal MainWindow::KeepOriginal(const QString &entryName, const QString &target)
{
    const QString original = loadedArchive->OriginalFilePath(entryName);
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

void MainWindow::RevertToOriginal()
{
    const QModelIndexList selected = SelectedIndexes(entryView);
    if (selected.isEmpty()) {
        UserDialogs::Information(this, QStringLiteral("Nothing selected"),
                                 QStringLiteral("Please select the items that should be reverted."));
        return;
    }
    if (!loadedArchive)
        return;
    // A selected bank stands for all its sounds.
    QModelIndexList entries;
    for (const QModelIndex &index : selected) {
        const int children = entryView->model()->rowCount(index);
        for (int row = 0; row < children; ++row)
            entries << entryView->model()->index(row, 0, index);
        if (children == 0)
            entries << index;
    }
    for (const QModelIndex &index : std::as_const(entries)) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        const QString original = item ? loadedArchive->OriginalFilePath(item->GetName()) : QString();
        if (index == playingIndex || IsPlayingFile(EntryFilePath(index)) || IsPlayingFile(original)) {
            UserDialogs::Information(this, QStringLiteral("Warning"),
                                     QStringLiteral("You can't revert the file, that is currently playing. "
                                                    "Please stop playing the file, before reverting it."));
            return;
        }
    }
    int reverted = 0;
    QStringList failed;
    for (const QModelIndex &index : std::as_const(entries)) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        const QString target = EntryFilePath(index);
        const QString original = item ? loadedArchive->OriginalFilePath(item->GetName()) : QString();
        if (target.isNull() || original.isNull() || !QFileInfo(original).isFile())
            continue;
        if (!MoveOver(original, target)) {
            failed << target;
            continue;
        }
        ++reverted;
        // Empty folders of the originals go with their last file; a folder still in use stays.
        QString folder = QFileInfo(original).absolutePath();
        while (folder.startsWith(loadedArchive->OriginalsFolder()) && QDir().rmdir(folder))
            folder = QFileInfo(folder).absolutePath();
    }
    UpdateChangeMarks();
    ShowWaveformOf(entryView->currentIndex());
    if (!failed.isEmpty())
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("Failed to put the original file back in place of:\n") + failed.join(QLatin1Char('\n')));
    else if (reverted == 0)
        UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The selected entries have not been changed."));
    else
        statusBar->showMessage(QStringLiteral("%1 entries were reverted to their originals.").arg(reverted));
}

void MainWindow::UpdateChangeMarks()
{
    if (!entryModel || !loadedArchive || entryView->model() != entryModel.get()) {
        changedLabel->clear();
        return;
    }
    const QStringList names = ChangedEntries(loadedArchive->Folder());
    entryModel->SetChangedEntries(QSet<QString>(names.begin(), names.end()));
    changedLabel->setText(QStringLiteral("%1 of %2 entries changed").arg(entryModel->ChangedCount()).arg(entryModel->EntryCount()));
}

void MainWindow::Export()
{
    if (!loadedArchive)
        return;
    const QModelIndexList selected = SelectedIndexes(entryView);
    if (selected.isEmpty())
        return;
    const QString directory = UserDialogs::ExistingDirectory(this, QStringLiteral("Selected directory for export"),
                                                             lastExportDirectory);
    if (directory.isEmpty())
        return;
    lastExportDirectory = directory;
    // Sounds of several banks share file names: then each goes to its bank's folder, as unpacking
    // lays them out, or the last of them would silently take the place of the others.
    QSet<QString> fileNames;
    bool bSharedName = false;
    for (const QModelIndex &index : selected) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        const QString fileName = item ? FileNameOf(item->GetName()) : QString();
        bSharedName = bSharedName || (item && item->ChildCount() == 0 && fileNames.contains(fileName));
        fileNames.insert(fileName);
    }

    for (const QModelIndex &index : selected) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        if (!item)
            continue;
        const QString source = EntryFilePath(index);
        if (source.isNull()) {
            ReportEntryOutsideArchive();
            continue;
        }
        const QString fileName = FileNameOf(item->GetName());
        const bool noFileName = fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..");
        if (noFileName || QFileInfo(source).isDir()) {
            UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The selected item is not a file."));
            continue;
        }
        const QString target = CombinePath(directory, bSharedName ? item->GetName() : fileName);
        if (bSharedName && !QDir().mkpath(QFileInfo(target).absolutePath())) {
            UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to export file."));
            continue;
        }
        if (target == source) {
            UserDialogs::Information(this, QStringLiteral("Note"),
                                     QStringLiteral("Source and destination file are the same. File won't be exported."));
            continue;
        }
        QString backup;
        switch (CopyOver(source, target, backup)) {
        case CopyResult::Copied:
            break;
        case CopyResult::OldNotMoved:
        case CopyResult::OldNotRemoved:
            UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to delete existing file."));
            return;
        case CopyResult::CopyFailed:
            UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to export file."));
            break;
        }
    }
}

void MainWindow::ClearWorkingDirectory()
{
    if (workingDirectory.isEmpty()) {
        UserDialogs::Information(this, QStringLiteral("Information"), QStringLiteral("No working directory was specified."));
        return;
    }
    if (!QDir(workingDirectory).exists()) {
        UserDialogs::Warning(this, QStringLiteral("Warning"), QStringLiteral("Working directory doesn't exists."));
        return;
    }
    if (playerWidget->IsPlaying()) {
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("Please stop the player before clearing your working directory."));
        return;
    }
    // The game's own folders must never be taken for unpacked archives.
    if (FoldersOverlap(workingDirectory, gtaDirectory)) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The working directory is, holds or lies inside the game folder. "
                                             "Nothing was deleted."));
        return;
    }
    // Only what unpacking made goes; anything else in the folder is the user's.
    const QDir directory(workingDirectory);
    QStringList kept;
    const QStringList folders = UnpackedFolders(directory, ArchiveFolderNames(archiveModel.get()), kept);
    const QStringList changed = ChangedFolders(directory, folders);
    if (!changed.isEmpty()
        && UserDialogs::Question(this, QStringLiteral("Warning"),
                                 QStringLiteral("Entries of these archives were replaced in the working directory and "
                                                "are lost when it is cleared:\n")
                                     + changed.join(QLatin1Char('\n')) + QStringLiteral("\nClear it anyway?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               != QMessageBox::Yes)
        return;
    const QString question = QStringLiteral("All files inside your working directory (") + workingDirectory
                           + QStringLiteral(") will be deleted.\nDo you want continue?");
    if (UserDialogs::Warning(this, QStringLiteral("Warning"), question, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;

    InstallEntryModel(nullptr);
    bool removedAll = true;
    for (const QString &name : folders) {
        if (!RemoveFolder(directory.absoluteFilePath(name)))
            removedAll = false;
    }
    if (!kept.isEmpty())
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("These folders were kept because they hold no unpacked archive:\n")
                                     + kept.join(QLatin1Char('\n')));
    if (!removedAll)
        UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to clear working directory."));
    else
        statusBar->showMessage(QStringLiteral("Working directory was cleared."));
}

bool MainWindow::RemoveFolder(const QString &path)
{
    // A link is removed as a link: what it points to may lie anywhere and is not ours.
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return QFile::remove(path) || QDir().rmdir(path);
    const QDir folder(path);
    return RemoveSubdirectories(folder) && RemoveFiles(folder) && QDir().rmdir(path);
}

bool MainWindow::RemoveSubdirectories(const QDir &directory)
{
    bool removedAll = true;
    // Hidden folders too: the kept originals live in one, and left behind it would keep its
    // archive folder from going.
    const QStringList names = directory.entryList(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names) {
        if (!RemoveFolder(directory.absolutePath() + QLatin1Char('/') + name))
            removedAll = false;
    }
    return removedAll;
}

bool MainWindow::RemoveFiles(const QDir &directory)
{
    bool removedAll = true;
    // Hidden files count too: left behind, they would keep their folder from being removed.
    const QStringList names = directory.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString &name : names) {
        if (!QFile::remove(directory.path() + QLatin1Char('/') + name))
            removedAll = false;
    }
    return removedAll;
}
