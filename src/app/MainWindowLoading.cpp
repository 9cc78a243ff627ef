#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMap>
#include <QStatusBar>
#include <QTreeView>

#include "app/CombinePath.h"
#include "app/WindowFeedback.h"
#include "app/archive/GameSave.h"
#include "dialogs/UserDialogs.h"
#include "game/PathCase.h"
#include "search/SearchDialog.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

void MainWindow::SoundFileSelected(QModelIndex index)
{
    // The entry view empties whatever was double-clicked. Nothing shows the old model any more,
    // so it goes now rather than linger until the next successful load.
    InstallEntryModel(nullptr);

    // Only an index of the archive tree carries a TreeItem.
    if (!index.isValid() || !archiveModel || index.model() != archiveModel.get())
        return;
    auto *item = static_cast<TreeItem *>(index.internalPointer());
    if (!item || item->ChildCount() > 0)
        return;
    // The mark stays even when loading fails: saving packs the marked archive.
    archiveModel->SetHighlightedIndex(index);
    LoadContent(item);
}

void MainWindow::LoadContent(TreeItem *pItem)
{
    if (!pItem || pItem->ChildCount() > 0)
        return;
    if (!pItem->IsSfx() && !pItem->IsStream()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("Invalid soundtype was found in your configuration "
                                             "(only valid types are \"SFX\" and \"STREAM\")."));
        return;
    }
    const IniMetafileModel::ArchiveType type = pItem->IsSfx() ? IniMetafileModel::SFX : IniMetafileModel::STREAM;
    const QString metafile = CombinePath(CombinePath(workingDirectory, pItem->GetName()), MetafileName(type));
    if (QFile::exists(metafile)) {
        // Loading or unpacking again over another archive's folder would mix the two.
        if (!CheckFolderHoldsArchive(type, metafile, pItem->GetArchivePath()))
            return;
        const QString question = QStringLiteral("The archiv, that you want to export, already exist in your working directory.\n"
                                                "Do you want load the existing archiv from your working directory?");
        if (UserDialogs::Information(this, QStringLiteral("Load existing files"), question,
                                     QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            SetModel(metafile, type);
            return;
        }
        // Unpacking again writes every file afresh and drops the kept originals.
        const qsizetype changed = ChangedEntries(QFileInfo(metafile).absolutePath()).size();
        if (changed > 0
            && UserDialogs::Question(this, QStringLiteral("Warning"),
                                     QStringLiteral("%1 entries of %2 were replaced in the working directory and are "
                                                    "lost when it is unpacked again. Unpack it again anyway?")
                                         .arg(changed)
                                         .arg(pItem->GetName()),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                   != QMessageBox::Yes)
            return;
    }
    type == IniMetafileModel::SFX ? ExportSfxArchive(pItem) : ExportStreamArchive(pItem);
}

bool MainWindow::CheckFolderHoldsArchive(IniMetafileModel::ArchiveType type, const QString &metafilePath,
                                         const QString &archivePath)
{
    // An unreadable metafile names no archive; reading it is refused later with its own message.
    const QString basename = ReadMetafileBasename(type, metafilePath);
    if (basename.isNull() || BasenameNamesArchive(basename, archivePath))
        return true;
    UserDialogs::Critical(this, QStringLiteral("Error"),
                          QStringLiteral("The folder \"") + QFileInfo(metafilePath).absolutePath()
                              + QStringLiteral("\" holds the archive ") + basename + QStringLiteral(", not ")
                              + FileNameOf(archivePath)
                              + QStringLiteral(".\nTwo archives may share a station name in metadata-full.ini: "
                                               "give them different names, or clear the working directory."));
    return false;
}

void MainWindow::ExportSfxArchive(TreeItem *pItem)
{
    if (!CheckWorkingDirectory() || !CheckGtaFolder())
        return;
    // An archive left half-saved unpacks into nonsense, or not at all.
    RepairInterruptedSaves();
    QString archivePath, bankFilePath;
    if (!ResolveGamePath(CombinePath(gtaDirectory, pItem->GetArchivePath()), archivePath)
        || !ResolveGamePath(CombinePath(gtaDirectory, pItem->GetBankFilePath()), bankFilePath))
        return;
    KivoSfxProcessCaller caller;
    if (!caller.ExportArchive({archivePath}, workingDirectory, bankFilePath))
        return;
    // Built from the working directory as it is now: the checks above may have just chosen it.
    SetUnpackedModel(CombinePath(workingDirectory, pItem->GetName()), IniMetafileModel::SFX, caller.Warnings());
}

void MainWindow::ExportStreamArchive(TreeItem *pItem)
{
    if (!CheckWorkingDirectory() || !CheckGtaFolder())
        return;
    // An archive left half-saved unpacks into nonsense, or not at all.
    RepairInterruptedSaves();
    QString archivePath;
    if (!ResolveGamePath(CombinePath(gtaDirectory, pItem->GetArchivePath()), archivePath))
        return;
    // A null path makes the tool export without station names.
    const QString stationNameFile = useKivoMetadata
                                  ? QCoreApplication::applicationDirPath() + QStringLiteral("/metadata-full.ini")
                                  : QString();
    KivoStreamProcessCaller caller;
    if (!caller.ExportArchive({archivePath}, workingDirectory, stationNameFile))
        return;
    SetUnpackedModel(CombinePath(workingDirectory, pItem->GetName()), IniMetafileModel::STREAM, caller.Warnings());
}

void MainWindow::SetUnpackedModel(const QString &archiveFolder, IniMetafileModel::ArchiveType type,
                                  const QString &warnings)
{
    const QString metafile = CombinePath(archiveFolder, MetafileName(type));
    if (!QFile::exists(metafile)) {
        // The tool names the folder by the archive's file name; a tree name that differs finds nothing.
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("No ") + MetafileName(type) + QStringLiteral(" was found in \"")
                                  + archiveFolder
                                  + QStringLiteral("\" after unpacking.\nThe archive's name in configuration.ini "
                                                   "must be its file name (or its station name)."));
        return;
    }
    // Every file is the archive's own again, so no mark of an earlier replace may stay.
    const QString originals = CombinePath(archiveFolder, QStringLiteral(".originals"));
    const QFileInfo originalsInfo(originals);
    if ((originalsInfo.exists() || originalsInfo.isSymLink()) && !RemoveFolder(originals))
        UserDialogs::Warning(this, QStringLiteral("Warning"),
                             QStringLiteral("The kept originals in \"") + originals
                                 + QStringLiteral("\" could not all be removed; entries may be marked as changed that are not."));
    SetModel(metafile, type);
    ShowToolWarnings(warnings);
}

bool MainWindow::ResolveGamePath(const QString &path, QString &resolved)
{
    try {
        // A game folder copied from Windows may spell its names in another case.
        resolved = ResolvePathCase(path);
        return true;
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return false;
    }
}

void MainWindow::RepairInterruptedSaves()
{
    if (!archiveModel)
        return;
    // A save journals beside the lookup file it rewrites, and may name only the archives the
    // configuration gives that lookup file.
    QMap<QString, QStringList> archivesOfLookupFile;
    for (const QModelIndex &index : archiveModel->ArchiveIndexes()) {
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        try {
            const QString lookup = ResolvePathCase(CombinePath(gtaDirectory, item->GetBankFilePath()));
            archivesOfLookupFile[QFileInfo(lookup).absoluteFilePath()]
                << QFileInfo(ResolvePathCase(CombinePath(gtaDirectory, item->GetArchivePath()))).absoluteFilePath();
        } catch (const QString &) {
            // Two names that differ only in case: the save that meets them says so.
        }
    }
    WindowFeedback feedback(this);
    for (auto it = archivesOfLookupFile.cbegin(); it != archivesOfLookupFile.cend(); ++it)
        GameSave::RepairInterrupted(feedback, it.key(), it.value());
}

void MainWindow::ShowToolWarnings(const QString &warnings)
{
    if (!warnings.isEmpty())
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("KIVO reported the following warnings:\n") + warnings);
}

void MainWindow::SetModel(QString iniFilepath, IniMetafileModel::ArchiveType type)
{
    if (!QFile::exists(iniFilepath))
        return;
    const QMap<QString, QString> noStationNames;
    try {
        auto model = std::make_unique<IniMetafileModel>(type, iniFilepath,
                                                        archiveModel ? archiveModel->GetStreamNames() : noStationNames);
        // The red row is the archive this list was loaded for; it may be none when a folder is
        // loaded directly.
        const QModelIndex treeRow = archiveModel ? archiveModel->GetHighlightedIndex() : QModelIndex();
        InstallEntryModel(model.release(), LoadedArchive(type, iniFilepath, treeRow, gtaDirectory));
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
    }
}

void MainWindow::InstallEntryModel(IniMetafileModel *pModel, std::optional<LoadedArchive> archive)
{
    std::unique_ptr<IniMetafileModel> model(pModel);
    // The view must let go of the old model before it dies. setModel() leaves the old selection
    // model behind, so it goes too.
    QItemSelectionModel *oldSelection = entryView->selectionModel();
    entryView->setModel(model.get());
    delete oldSelection;
    WatchEntrySelection();
    searchBar->ForgetHits();
    entryModel.swap(model);
    loadedArchive = std::move(archive);
    UpdateChangeMarks();
}

bool MainWindow::ContentAvailable()
{
    // What the view shows counts: a cleared working directory leaves the model detached.
    const QAbstractItemModel *model = entryView->model();
    return model && model->rowCount(QModelIndex()) != 0;
}

void MainWindow::SaveArchive()
{
    // The archive shown is the one saved, from the folder it was loaded from.
    if (!loadedArchive || !loadedArchive->TreeRow().isValid())
        return;
    if (!loadedArchive->HasGameFolder()) {
        if (!CheckGtaFolder())
            return;
        loadedArchive->SetGameFolder(gtaDirectory);
    }
    const IniMetafileModel::ArchiveType type = loadedArchive->Type();
    // The swap and the lookup backup must use the names that are on disk.
    QString archivePath, bankFilePath;
    if (!ResolveGamePath(loadedArchive->ArchivePath(), archivePath)
        || !ResolveGamePath(loadedArchive->LookupFilePath(), bankFilePath))
        return;
    const QString metafilePath = loadedArchive->MetafilePath();
    // The folder may have been unpacked again for another archive since it was loaded.
    if (!CheckFolderHoldsArchive(type, metafilePath, archivePath))
        return;

    if (type == IniMetafileModel::SFX && !MaySaveSoundBuffer())
        return;
    QString warnings;
    WindowFeedback feedback(this);
    if (!GameSave::Run(feedback, type, metafilePath, archivePath, bankFilePath, warnings))
        return;
    statusBar->showMessage(type == IniMetafileModel::SFX ? QStringLiteral("Save was successfull.")
                                                         : QStringLiteral("Save was successfull"),
                           0);
    ShowToolWarnings(warnings);
}
