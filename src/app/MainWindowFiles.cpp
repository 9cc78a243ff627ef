#include "app/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSet>
#include <QStatusBar>
#include <QTreeView>

#include "app/LoadedArchive.h"
#include "app/WindowFeedback.h"
#include "app/archive/CopyOut.h"
#include "app/archive/EntryFiles.h"
#include "app/archive/WorkingDirectory.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
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
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    WindowFeedback feedback(this);
    const AudioConverter::Result result
        = EntryFiles(*loadedArchive).Replace(item->GetName(), target, chosen, item->GetSampleRate(), trimSeconds, feedback);
    UpdateChangeMarks();
    return result;
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
    QStringList names;
    for (const QModelIndex &index : std::as_const(entries)) {
        if (!EntryFilePath(index).isNull())
            names << IniMetafileModel::ItemOf(index)->GetName();
    }
    const EntryFiles::Reverted reverted = EntryFiles(*loadedArchive).Revert(names);
    UpdateChangeMarks();
    ShowWaveformOf(entryView->currentIndex());
    if (!reverted.failed.isEmpty())
        UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to put the original file back in place of:\n")
                                                                 + reverted.failed.join(QLatin1Char('\n')));
    else if (reverted.count == 0)
        UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The selected entries have not been changed."));
    else
        statusBar->showMessage(QStringLiteral("%1 entries were reverted to their originals.").arg(reverted.count));
}

void MainWindow::UpdateChangeMarks()
{
    if (!entryModel || !loadedArchive || entryView->model() != entryModel.get()) {
        changedLabel->clear();
        return;
    }
    entryModel->SetChangedEntries(EntryFiles(*loadedArchive).Changed());
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
    QList<CopyOut::Entry> entries;
    for (const QModelIndex &index : selected) {
        if (const IniMetafileItem *item = IniMetafileModel::ItemOf(index))
            entries.append({item->GetName(), EntryFilePath(index), item->ChildCount() > 0});
    }
    for (const CopyOut::Outcome outcome : CopyOut::Copy(entries, directory)) {
        switch (outcome) {
        case CopyOut::Outcome::Copied:
            break;
        case CopyOut::Outcome::OutsideArchive:
            ReportEntryOutsideArchive();
            break;
        case CopyOut::Outcome::NotAFile:
            UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The selected item is not a file."));
            break;
        case CopyOut::Outcome::SameFile:
            UserDialogs::Information(this, QStringLiteral("Note"),
                                     QStringLiteral("Source and destination file are the same. File won't be exported."));
            break;
        case CopyOut::Outcome::CopyFailed:
            UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to export file."));
            break;
        case CopyOut::Outcome::OldNotReplaced:
            UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to delete existing file."));
            break;
        }
    }
}

void MainWindow::ClearWorkingDirectory()
{
    const WorkingDirectory directory(workingDirectory, gtaDirectory);
    const WorkingDirectory::State state = directory.Check();
    if (state == WorkingDirectory::State::NotSet) {
        UserDialogs::Information(this, QStringLiteral("Information"), QStringLiteral("No working directory was specified."));
        return;
    }
    if (state == WorkingDirectory::State::Missing) {
        UserDialogs::Warning(this, QStringLiteral("Warning"), QStringLiteral("Working directory doesn't exists."));
        return;
    }
    if (playerWidget->IsPlaying()) {
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("Please stop the player before clearing your working directory."));
        return;
    }
    if (state == WorkingDirectory::State::OverlapsGameFolder) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The working directory is, holds or lies inside the game folder. "
                                             "Nothing was deleted."));
        return;
    }
    // Only what unpacking made goes; anything else in the folder is the user's.
    QStringList kept;
    const QStringList folders = directory.UnpackedFolders(ArchiveFolderNames(archiveModel.get()), kept);
    QStringList changed;
    for (const WorkingDirectory::ChangedFolder &folder : directory.ChangedFolders(folders))
        changed << QStringLiteral("%1: %2 entries").arg(folder.name).arg(folder.entries);
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
    const bool bRemovedAll = directory.Remove(folders);
    if (!kept.isEmpty())
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("These folders were kept because they hold no unpacked archive:\n")
                                     + kept.join(QLatin1Char('\n')));
    if (!bRemovedAll)
        UserDialogs::Critical(this, QStringLiteral("Error"), QStringLiteral("Failed to clear working directory."));
    else
        statusBar->showMessage(QStringLiteral("Working directory was cleared."));
}

bool MainWindow::RemoveFolder(const QString &path)
{
    return WorkingDirectory::RemoveFolder(path);
}

bool MainWindow::RemoveSubdirectories(const QDir &directory)
{
    return WorkingDirectory::RemoveSubdirectories(directory);
}

bool MainWindow::RemoveFiles(const QDir &directory)
{
    return WorkingDirectory::RemoveFiles(directory);
}
