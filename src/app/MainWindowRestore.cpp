#include "app/MainWindow.h"

#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>

#include "app/CombinePath.h"
#include "app/WindowFeedback.h"
#include "app/archive/GameSave.h"
#include "app/archive/KeptOriginals.h"
#include "dialogs/UserDialogs.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
IniMetafileModel::ArchiveType TypeOf(const TreeItem *pItem)
{
    return pItem->IsSfx() ? IniMetafileModel::SFX : IniMetafileModel::STREAM;
}

TreeItem *ItemOf(const QModelIndex &index)
{
    return static_cast<TreeItem *>(index.internalPointer());
}
}

TreeItem *MainWindow::SelectedArchive()
{
    const QModelIndex index = archiveView->currentIndex();
    auto *item = index.isValid() && archiveModel && index.model() == archiveModel.get() ? ItemOf(index) : nullptr;
    if (item && item->ChildCount() == 0 && (item->IsSfx() || item->IsStream()))
        return item;
    UserDialogs::Information(this, QStringLiteral("Information"),
                             QStringLiteral("Select the archive to restore in the archive tree first."));
    return nullptr;
}

std::optional<KeptOriginals> MainWindow::KeptOriginalsOf(const TreeItem *pItem)
{
    QString archivePath, lookupPath;
    if (!ResolveGamePath(CombinePath(gtaDirectory, pItem->GetArchivePath()), archivePath)
        || !ResolveGamePath(CombinePath(gtaDirectory, pItem->GetBankFilePath()), lookupPath))
        return std::nullopt;
    return KeptOriginals(TypeOf(pItem), archivePath, lookupPath);
}

void MainWindow::RestoreOriginalArchive()
{
    TreeItem *item = SelectedArchive();
    if (!item || !CheckGtaFolder())
        return;
    const std::optional<KeptOriginals> originals = KeptOriginalsOf(item);
    if (!originals)
        return;
    if (!originals->CanRestore()) {
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("No original of ") + item->GetName()
                                     + QStringLiteral(" is kept: it has not been saved by this program. "
                                                      "Nothing was changed."));
        return;
    }
    if (UserDialogs::Warning(this, QStringLiteral("Restore original archive"),
                             QStringLiteral("Put the original ") + item->GetName()
                                 + QStringLiteral(" back into the game folder?\n"
                                                  "Everything saved into it since will be lost."),
                             QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!CheckWorkingDirectory())
        return;
    RepairInterruptedSaves();
    QString warnings;
    if (!RestoreArchive(archiveView->currentIndex(), *originals, warnings) || !RestoreBankSlots(*originals))
        return;
    statusBar->showMessage(QStringLiteral("Original archive restored."), 0);
    ShowToolWarnings(warnings);
}

void MainWindow::RestoreAllOriginalAudio()
{
    if (!archiveModel || !CheckGtaFolder())
        return;
    QList<QPair<QModelIndex, KeptOriginals>> kept;
    for (const QModelIndex &index : archiveModel->ArchiveIndexes()) {
        const TreeItem *item = ItemOf(index);
        if (!item->IsSfx() && !item->IsStream())
            continue;
        const std::optional<KeptOriginals> originals = KeptOriginalsOf(item);
        if (!originals)
            return;
        if (originals->CanRestore())
            kept.append({index, *originals});
    }
    if (kept.isEmpty()) {
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("No original is kept: nothing has been saved by this program. "
                                                "Nothing was changed."));
        return;
    }
    if (UserDialogs::Question(this, QStringLiteral("Restore all original audio"),
                              QStringLiteral("Put every kept original back into the game folder?\n"
                                             "Everything saved into the game since will be lost."),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!CheckWorkingDirectory())
        return;
    RepairInterruptedSaves();
    // One save per archive, each with its own lock and journal, as the user's saves were made.
    QStringList allWarnings;
    for (const auto &[index, originals] : kept) {
        QString warnings;
        if (!RestoreArchive(index, originals, warnings))
            return;
        if (!warnings.isEmpty())
            allWarnings << warnings;
    }
    for (const auto &[index, originals] : kept) {
        if (originals.Type() == IniMetafileModel::SFX) {
            if (!RestoreBankSlots(originals))
                return;
            break;  // the slots are shared by every SFX archive: once is all
        }
    }
    statusBar->showMessage(QStringLiteral("All original audio restored."), 0);
    ShowToolWarnings(allWarnings.join(QLatin1Char('\n')));
}

bool MainWindow::RestoreArchive(const QModelIndex &treeRow, const KeptOriginals &originals, QString &warnings)
{
    const TreeItem *item = ItemOf(treeRow);
    const IniMetafileModel::ArchiveType type = TypeOf(item);
    // The list of this archive would put the changes back with its next save.
    if (loadedArchive && loadedArchive->TreeRow() == treeRow)
        InstallEntryModel(nullptr);

    // The original is unpacked with the lookup file it came with, then packed like any save, so
    // that of the current lookup file only this archive's records change.
    QTemporaryDir scratch(CombinePath(workingDirectory, QStringLiteral("RozivOze restore-XXXXXX")));
    if (!scratch.isValid()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("No scratch folder could be made in the working directory: ")
                                  + scratch.errorString() + QStringLiteral("\nNothing was changed."));
        return false;
    }
    KivoSfxProcessCaller sfxCaller;
    KivoStreamProcessCaller streamCaller;
    const bool bUnpacked = type == IniMetafileModel::SFX
                         ? sfxCaller.ExportArchive({originals.ArchivePath()}, scratch.path(), originals.LookupFilePath())
                         : streamCaller.ExportArchive({originals.ArchivePath()}, scratch.path(), QString());
    if (!bUnpacked)
        return false;
    const QString metafilePath = CombinePath(CombinePath(scratch.path(), FileNameOf(originals.ArchivePath())),
                                             MetafileName(type));
    if (!QFileInfo(metafilePath).isFile()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The original of ") + item->GetName()
                                  + QStringLiteral(" did not unpack into \"") + QFileInfo(metafilePath).path()
                                  + QStringLiteral("\".\nNothing was changed."));
        return false;
    }
    WindowFeedback feedback(this);
    return GameSave::Run(feedback, type, metafilePath, originals.GamePath(), originals.GameLookupFilePath(), warnings);
}

bool MainWindow::RestoreBankSlots(const KeptOriginals &originals)
{
    if (originals.Type() != IniMetafileModel::SFX)
        return true;
    QStringList sfxArchives;
    for (const QModelIndex &index : archiveModel->ArchiveIndexes()) {
        const TreeItem *item = ItemOf(index);
        const std::optional<KeptOriginals> other = item->IsSfx() ? KeptOriginalsOf(item) : std::nullopt;
        if (other && other->GameLookupFilePath() == originals.GameLookupFilePath())
            sfxArchives << other->GamePath();
    }
    try {
        originals.RestoreBankSlots(sfxArchives);
        return true;
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return false;
    }
}
