#include "app/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>

#include "app/ChangeMarks.h"
#include "app/FolderReplaceDialog.h"
#include "app/WaveformDock.h"
#include "app/WindowFeedback.h"
#include "app/archive/CopyOut.h"
#include "app/archive/EntryFiles.h"
#include "app/archive/EntryOrder.h"
#include "app/archive/FolderReplacement.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"

namespace
{
const QString folderTitle = QStringLiteral("Replace from folder");
const QString outsideArchive = QStringLiteral("The entry's file name leads outside the archive folder.");

QModelIndexList SelectedIndexes(const QTreeView *view)
{
    const QItemSelectionModel *selection = view->selectionModel();
    return selection ? selection->selectedIndexes() : QModelIndexList();
}
}

bool MainWindow::Play(QModelIndex index)
{
    QAbstractItemModel *model = entryView->model();
    if (!model || index.model() != model || !index.internalPointer())
        return false;

    const QString filePath = opened.FilePath(index);
    if (filePath.isNull()) {
        // Nothing was handed to the player, so whatever plays keeps its index.
        UserDialogs::Critical(this, QStringLiteral("Error"), outsideArchive);
        return false;
    }
    if (QFileInfo(filePath).isDir())
        return false;

    if (!playerWidget->Play(filePath, opened.SoundKey(index).IsValid() ? IniMetafileModel::ItemOf(index)->GetLoopOffset() : -1)) {
        ResetPlayingIndex();
        return false;
    }
    playingIndex = index;
    opened.SetPlaying(index, filePath);
    statusBar->showMessage(QStringLiteral("Playing file ") + filePath);
    return true;
}

void MainWindow::PlayOriginal()
{
    const QModelIndex current = entryView->currentIndex();
    const IniMetafileItem *item = IniMetafileModel::ItemOf(current);
    if (!opened.Archive() || !item || current.model() != opened.Model())
        return;
    QString original;
    try {
        original = opened.OriginalOf(current);
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return;
    }
    if (original.isNull()) {
        UserDialogs::Information(this, QStringLiteral("Note"),
                                 QStringLiteral("This entry has not been changed: its file is the original."));
        return;
    }
    if (!playerWidget->Play(original)) {
        ResetPlayingIndex();
        return;
    }
    // The entry counts as playing: neither a replace nor a revert may move the file meanwhile.
    playingIndex = current;
    opened.SetPlaying(current, original);
    statusBar->showMessage(QStringLiteral("Playing original file ") + original);
}

void MainWindow::PlayCurrent()
{
    const QModelIndex current = entryView->currentIndex();
    if (current.isValid())
        Play(current);
}

void MainWindow::PlayNext()
{
    if (!ContentAvailable())
        return;
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex candidate = EntryOrder::Next(*entryView->model(), current);
    if (Play(candidate))
        entryView->setCurrentIndex(candidate);
}

void MainWindow::PlayPrevious()
{
    if (!ContentAvailable())
        return;
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex candidate = EntryOrder::Previous(*entryView->model(), current);
    if (Play(candidate))
        entryView->setCurrentIndex(candidate);
}

void MainWindow::Break()
{
    playerWidget->Break();
    statusBar->clearMessage();
}

void MainWindow::StopPlaying()
{
    playerWidget->Stop();
    statusBar->clearMessage();
}

void MainWindow::ResetPlayingIndex()
{
    playingIndex = QModelIndex();
    opened.ForgetPlaying();
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
    const QString target = opened.FilePath(index);
    // Refused before the file dialog: the user should not pick a file for nothing.
    if (!MayReplace(index, target))
        return;

    const bool bTrack = opened.Archive()->Type() != IniMetafileModel::SFX;
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

bool MainWindow::MayReplace(const QModelIndex &index, const QString &target)
{
    if (index == playingIndex || opened.IsPlaying(index)) {
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("You can't replace the file, that is currently playing. "
                                                "Please stop playing the file, before replacing it."));
        return false;
    }
    if (!opened.Archive() || !IniMetafileModel::ItemOf(index))
        return false;
    if (target.isNull()) {
        UserDialogs::Critical(this, QStringLiteral("Error"), outsideArchive);
        return false;
    }
    return true;
}

void MainWindow::ReplaceAndReport(const QModelIndex &index, const QString &target, const QString &chosen)
{
    // Moving the entry's file aside to copy it onto itself would only fail.
    if (FolderReplace::SameFile(chosen, target)) {
        UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The chosen file already is the entry's file."));
        return;
    }
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    QHash<QString, double> trimSeconds;
    if (!AskAboutLongSounds({{item->GetName(), target, chosen, item->GetSampleRate()}}, trimSeconds))
        return;
    WindowFeedback feedback(this);
    const AudioConverter::Result result = EntryFiles(*opened.Archive()).Replace(item->GetName(), target, chosen,
                                                                                item->GetSampleRate(), trimSeconds.value(target), feedback,
                                                                                matchLoudness);
    if (result.outcome == AudioConverter::Outcome::Done)
        opened.Replaced(index, result.gainDb);
    UpdateChangeMarks();
    waveformDock->ShowEntry(entryView->currentIndex());
    if (result.outcome == AudioConverter::Outcome::Failed)
        UserDialogs::Critical(this, QStringLiteral("Error"), result.message);
    else if (result.outcome == AudioConverter::Outcome::Done)
        statusBar->showMessage(QStringLiteral("Item was successfull replaced."));
}

void MainWindow::ReplaceFromFolder()
{
    if (!opened.Archive()) {
        UserDialogs::Information(this, folderTitle, QStringLiteral("Please open the archive whose entries should be replaced."));
        return;
    }
    const QString folder = UserDialogs::ExistingDirectory(this, QStringLiteral("Select the folder with the replacements"),
                                                          lastImportDirectory);
    if (folder.isEmpty())
        return;
    lastImportDirectory = folder;
    ReplaceFolder(folder);
}

void MainWindow::ReplaceFolder(const QString &folder)
{
    QStringList files, paths;
    if (!FolderReplace::ListFiles(folder, files, paths)) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The folder %1 holds more than %2 files. Please choose the folder that "
                                             "holds the replacements.").arg(folder).arg(FolderReplace::mostFilesInFolder));
        return;
    }
    ReplaceMatching(QStringLiteral("the files in ") + QDir::toNativeSeparators(folder), files, paths);
}

void MainWindow::DropFiles(const QPersistentModelIndex &index, const QStringList &paths)
{
    if (!opened.Archive() || paths.isEmpty())
        return;
    if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
        ReplaceFolder(paths.first());
        return;
    }
    const bool bTracks = opened.Archive()->Type() != IniMetafileModel::SFX;
    const bool bOnEntry = index.isValid() && index.model() == opened.Model() && (bTracks || index.parent().isValid());
    if (paths.size() == 1 && bOnEntry) {
        const QString target = opened.FilePath(index);
        if (MayReplace(index, target))
            ReplaceAndReport(index, target, paths.first());
        return;
    }
    QStringList names;
    for (const QString &path : paths)
        names << FolderReplace::DroppedName(path, bTracks);
    ReplaceMatching(QStringLiteral("the dropped files"), names, paths);
}

void MainWindow::ReplaceMatching(const QString &source, const QStringList &names, const QStringList &paths)
{
    const FolderReplacement replacement(opened, names, paths);
    if (replacement.Rows().isEmpty()) {
        const bool bTracks = opened.Archive()->Type() != IniMetafileModel::SFX;
        const QString example = bTracks ? QStringLiteral("Track_001.ogg") : QStringLiteral("Bank_001/sound_001.wav");
        UserDialogs::Information(this, folderTitle,
                                 QStringLiteral("None of %1 can replace an entry of the open archive. Files are "
                                                "matched by names like %2; a single file dropped on an entry "
                                                "replaces that entry.").arg(source, example));
        return;
    }
    {
        FolderReplaceDialog dialog(source, replacement.Rows(), replacement.Unmatched(), this);
        if (UserDialogs::Exec(&dialog, dialog.Text()) != QMessageBox::Ok)
            return;
    }
    QHash<QString, double> trimSeconds;
    if (!AskAboutLongSounds(replacement.Planned(), trimSeconds))
        return;
    WindowFeedback feedback(this);
    const FolderReplacement::Result result = replacement.Run(trimSeconds, feedback, matchLoudness);
    UpdateChangeMarks();
    waveformDock->ShowEntry(entryView->currentIndex());

    const QString count = QStringLiteral("%1 of %2 entries replaced.").arg(result.replaced).arg(replacement.Rows().size());
    const QString summary = count + (result.bAborted ? QStringLiteral("\nAborted: the entries not replaced yet are as they were.")
                                                     : QString())
                          + (result.notes.isEmpty() ? QString() : QStringLiteral("\n\n") + result.notes.join(QLatin1Char('\n')));
    if (result.refused.isEmpty())
        UserDialogs::Information(this, folderTitle, summary);
    else
        UserDialogs::Warning(this, folderTitle, summary + QStringLiteral("\n\nRefused:\n") + result.refused.join(QLatin1Char('\n')));
    if (result.replaced > 0)
        statusBar->showMessage(count);
}

bool MainWindow::AskAboutLongSounds(const QList<SoundBufferGrowth::Planned> &planned, QHash<QString, double> &trimSeconds)
{
    QHash<QString, double> originalSeconds;
    const QString question = SoundBufferGrowth::LongSoundsQuestion(*opened.Archive(), planned, originalSeconds);
    if (question.isEmpty())
        return true;
    const QMessageBox::StandardButton answer = UserDialogs::Question(
        this, QStringLiteral("Long sound"), question, QMessageBox::Yes | QMessageBox::Apply | QMessageBox::Cancel,
        QMessageBox::Cancel,
        {{QMessageBox::Yes, QStringLiteral("&Replace")},
         {QMessageBox::Apply, QStringLiteral("&Trim to the original's length")},
         {QMessageBox::Cancel, QStringLiteral("Cancel")}});
    if (answer == QMessageBox::Apply)
        trimSeconds = originalSeconds;
    return answer == QMessageBox::Yes || answer == QMessageBox::Apply;
}

void MainWindow::RevertToOriginal()
{
    const QModelIndexList selected = SelectedIndexes(entryView);
    if (selected.isEmpty()) {
        UserDialogs::Information(this, QStringLiteral("Nothing selected"),
                                 QStringLiteral("Please select the items that should be reverted."));
        return;
    }
    if (!opened.Archive())
        return;
    const QModelIndexList entries = opened.EntriesOf(selected);
    if (std::any_of(entries.cbegin(), entries.cend(), [this](const QModelIndex &index) { return opened.IsPlaying(index); })) {
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("You can't revert the file, that is currently playing. "
                                                "Please stop playing the file, before reverting it."));
        return;
    }
    const EntryFiles::Reverted reverted = opened.Revert(entries);
    UpdateChangeMarks();
    waveformDock->ShowEntry(entryView->currentIndex());
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
    changeMarks->Update(opened, entryView->model(), archiveModel.get());
}

void MainWindow::Export()
{
    const QModelIndexList selected = SelectedIndexes(entryView);
    if (!opened.Archive() || selected.isEmpty())
        return;
    const QString directory = UserDialogs::ExistingDirectory(this, QStringLiteral("Selected directory for export"),
                                                             lastExportDirectory);
    if (directory.isEmpty())
        return;
    lastExportDirectory = directory;
    WindowFeedback feedback(this);
    CopyOut::Tell(CopyOut::Copy(opened.CopyOutEntries(selected), directory), feedback);
}
