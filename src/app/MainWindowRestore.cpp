#include "app/MainWindow.h"

#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>

#include "app/CombinePath.h"
#include "app/GameSave.h"
#include "app/KeptOriginals.h"
#include "app/UserDialogs.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

TreeItem *MainWindow::SelectedArchive()
{
    const QModelIndex index = archiveView->currentIndex();
    auto *item = index.isValid() && archiveModel && index.model() == archiveModel.get()
               ? static_cast<TreeItem *>(index.internalPointer())
               : nullptr;
    if (item && item->ChildCount() == 0 && (item->IsSfx() || item->IsStream()))
        return item;
    UserDialogs::Information(this, QStringLiteral("Information"),
                             QStringLiteral("Select the archive to restore in the archive tree first."));
    return nullptr;
}

void MainWindow::RestoreOriginalArchive()
{
    TreeItem *item = SelectedArchive();
    if (!item || !CheckGtaFolder())
        return;
    const IniMetafileModel::ArchiveType type = item->IsSfx() ? IniMetafileModel::SFX : IniMetafileModel::STREAM;
    QString archivePath, lookupPath;
    if (!ResolveGamePath(CombinePath(gtaDirectory, item->GetArchivePath()), archivePath)
        || !ResolveGamePath(CombinePath(gtaDirectory, item->GetBankFilePath()), lookupPath))
        return;
    const KeptOriginals originals(type, archivePath, lookupPath);
    if (!originals.CanRestore()) {
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

    // The list of this archive would put the changes back with its next save.
    if (loadedArchive && loadedArchive->TreeRow() == archiveView->currentIndex())
        InstallEntryModel(nullptr);

    // The original is unpacked with the lookup file it came with, then packed like any save, so
    // that of the current lookup file only this archive's records change.
    QTemporaryDir scratch(CombinePath(workingDirectory, QStringLiteral("RozivOze restore-XXXXXX")));
    if (!scratch.isValid()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("No scratch folder could be made in the working directory: ")
                                  + scratch.errorString() + QStringLiteral("\nNothing was changed."));
        return;
    }
    KivoSfxProcessCaller sfxCaller;
    KivoStreamProcessCaller streamCaller;
    const bool bUnpacked = type == IniMetafileModel::SFX
                         ? sfxCaller.ExportArchive({originals.ArchivePath()}, scratch.path(), originals.LookupFilePath())
                         : streamCaller.ExportArchive({originals.ArchivePath()}, scratch.path(), QString());
    if (!bUnpacked)
        return;
    const QString metafilePath = CombinePath(CombinePath(scratch.path(), FileNameOf(originals.ArchivePath())),
                                             MetafileName(type));
    if (!QFileInfo(metafilePath).isFile()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The original of ") + item->GetName()
                                  + QStringLiteral(" did not unpack into \"") + QFileInfo(metafilePath).path()
                                  + QStringLiteral("\".\nNothing was changed."));
        return;
    }
    QString warnings;
    if (!GameSave::Run(this, type, metafilePath, archivePath, lookupPath, warnings))
        return;
    statusBar->showMessage(QStringLiteral("Original archive restored."), 0);
    ShowToolWarnings(warnings);
}
