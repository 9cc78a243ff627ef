#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QStatusBar>
#include <QTreeView>

#include "app/ChangeMarks.h"
#include "app/CombinePath.h"
#include "app/GameCheckReport.h"
#include "app/WindowFeedback.h"
#include "app/archive/EntryFiles.h"
#include "app/archive/GameSave.h"
#include "app/archive/ModExport.h"
#include "app/archive/WorkingDirectory.h"
#include "dialogs/UserDialogs.h"
#include "game/PathCase.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "search/SearchDialog.h"
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
        // Unpacking again writes every file afresh: what is not in the game yet is lost.
        const qsizetype changed = WorkingDirectory(workingDirectory, gtaDirectory)
                                      .ChangedFolders({pItem->GetName()}, GameArchives())
                                      .value(0).entries;
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
    UnpackArchive(pItem);
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

void MainWindow::UnpackArchive(TreeItem *pItem)
{
    if (!CheckWorkingDirectory() || !CheckGtaFolder())
        return;
    // An archive left half-saved unpacks into nonsense, or not at all.
    RepairInterruptedSaves();
    const std::optional<GameArchive> archive = GameArchiveOf(*pItem);
    // A null path makes the stream tool export without station names.
    const QString stationNameFile = useKivoMetadata
                                  ? QCoreApplication::applicationDirPath() + QStringLiteral("/metadata-full.ini")
                                  : QString();
    QString warnings;
    if (!archive || !archive->Unpack(workingDirectory, stationNameFile, warnings))
        return;
    // Built from the working directory as it is now: the checks above may have just chosen it.
    SetUnpackedModel(CombinePath(workingDirectory, pItem->GetName()), archive->Type(), warnings);
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
    if (!EntryFiles::ForgetOriginals(archiveFolder))
        UserDialogs::Warning(this, QStringLiteral("Warning"),
                             QStringLiteral("The kept originals in \"") + CombinePath(archiveFolder, QStringLiteral(".originals"))
                                 + QStringLiteral("\" could not all be removed; entries may be marked as changed that are not."));
    SetModel(metafile, type);
    ShowToolWarnings(warnings);
}

std::optional<GameArchive> MainWindow::GameArchiveOf(const TreeItem &item, const QModelIndex &treeRow)
{
    try {
        return GameArchive(item, gtaDirectory, treeRow);
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return std::nullopt;
    }
}

bool MainWindow::GamePathsOfOpened(QString &archivePath, QString &lookupPath)
{
    LoadedArchive *archive = opened.Archive();
    if (!archive->HasGameFolder()) {
        if (!CheckGtaFolder())
            return false;
        archive->SetGameFolder(gtaDirectory);
    }
    try {
        archivePath = ResolvePathCase(archive->ArchivePath());
        lookupPath = ResolvePathCase(archive->LookupFilePath());
        return true;
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return false;
    }
}

QList<GameArchive> MainWindow::GameArchives() const
{
    return archiveModel ? GameArchive::AllOf(*archiveModel, gtaDirectory) : QList<GameArchive>();
}

void MainWindow::RepairInterruptedSaves()
{
    WindowFeedback feedback(this);
    GameArchive::RepairInterruptedSaves(feedback, GameArchives());
}

void MainWindow::RefreshTreeMarks()
{
    if (archiveModel && !workingDirectory.isEmpty())
        changeMarks->RefreshTree(archiveModel.get(), gtaDirectory, workingDirectory);
}

void MainWindow::CheckGameAudio()
{
    if (!archiveModel || !CheckGtaFolder())
        return;
    if (GameCheckReport *report = GameCheckReport::CheckAndShow(this, GameArchives(), workingDirectory))
        connect(report, &GameCheckReport::AboutToChange, this, [this](const QPersistentModelIndex &treeRow) {
            if (opened.Archive() && opened.Archive()->TreeRow() == treeRow)
                InstallEntryModel(nullptr);  // its next save would undo the repair
        });
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
    try {
        auto model = std::make_unique<IniMetafileModel>(
            type, iniFilepath, archiveModel ? archiveModel->GetStreamNames() : QMap<QString, QString>());
        // The red row is the archive this list was loaded for; it may be none when a folder is
        // loaded directly.
        const QModelIndex treeRow = archiveModel ? archiveModel->GetHighlightedIndex() : QModelIndex();
        InstallEntryModel(std::move(model), LoadedArchive(type, iniFilepath, treeRow, gtaDirectory));
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
    }
}

void MainWindow::InstallEntryModel(std::unique_ptr<IniMetafileModel> model, std::optional<LoadedArchive> archive)
{
    // The view must let go of the old model before it dies. setModel() leaves the old selection
    // model behind, so it goes too.
    QItemSelectionModel *oldSelection = entryView->selectionModel();
    entryView->setModel(model.get());
    delete oldSelection;
    WatchEntrySelection();
    searchBar->ForgetHits();
    opened.Open(std::move(model), std::move(archive));
    changeMarks->Update(opened, entryView->model(), archiveModel.get(), true);
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
    LoadedArchive *archive = opened.Archive();
    if (!archive || !archive->TreeRow().isValid())
        return;
    const IniMetafileModel::ArchiveType type = archive->Type();
    // The swap and the lookup backup must use the names that are on disk.
    QString archivePath, bankFilePath;
    if (!GamePathsOfOpened(archivePath, bankFilePath))
        return;
    // The folder may have been unpacked again for another archive since it was loaded.
    if (!CheckFolderHoldsArchive(type, archive->MetafilePath(), archivePath))
        return;
    if (type == IniMetafileModel::SFX && !MaySaveSoundBuffer())
        return;
    QString warnings;
    WindowFeedback feedback(this);
    if (!GameSave::Run(feedback, type, archive->MetafilePath(), archivePath, bankFilePath, warnings))
        return;
    statusBar->showMessage(type == IniMetafileModel::SFX ? QStringLiteral("Save was successfull.")
                                                         : QStringLiteral("Save was successfull"),
                           0);
    UpdateChangeMarks();
    ShowToolWarnings(warnings);
}

bool MainWindow::MaySaveSoundBuffer()
{
    const QString question = SoundBufferGrowth::SaveQuestion(*opened.Archive());
    return question.isEmpty()
        || UserDialogs::Question(this, QStringLiteral("Warning"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
               == QMessageBox::Yes;
}

void MainWindow::RestoreOriginalArchive()
{
    const QModelIndex index = archiveView->currentIndex();
    const auto *item = index.isValid() && archiveModel && index.model() == archiveModel.get()
                     ? static_cast<const TreeItem *>(index.internalPointer())
                     : nullptr;
    if (!item || item->ChildCount() > 0 || (!item->IsSfx() && !item->IsStream())) {
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("Select the archive to restore in the archive tree first."));
        return;
    }
    if (!CheckGtaFolder())
        return;
    const std::optional<GameArchive> archive = GameArchiveOf(*item, index);
    WindowFeedback feedback(this);
    if (archive && archive->MayRestore(feedback))
        RestoreArchives({*archive}, QStringLiteral("Original archive restored."));
}

void MainWindow::RestoreAllOriginalAudio()
{
    if (!archiveModel || !CheckGtaFolder())
        return;
    QStringList ambiguous;
    QList<GameArchive> kept = GameArchive::AllOf(*archiveModel, gtaDirectory, &ambiguous);
    if (!ambiguous.isEmpty()) {
        UserDialogs::Critical(this, QStringLiteral("Error"), ambiguous.first());
        return;
    }
    WindowFeedback feedback(this);
    if (GameArchive::AgreedToRestoreAll(feedback, kept))
        RestoreArchives(kept, QStringLiteral("All original audio restored."));
}

void MainWindow::RestoreArchives(const QList<GameArchive> &archives, const QString &doneMessage)
{
    if (!CheckWorkingDirectory())
        return;
    RepairInterruptedSaves();
    // The list of an archive restored would put the changes back with its next save.
    for (const GameArchive &archive : archives) {
        if (opened.Archive() && opened.Archive()->TreeRow() == archive.TreeRow())
            InstallEntryModel(nullptr);
    }
    QString warnings;
    WindowFeedback feedback(this);
    if (!GameArchive::RestoreOriginals(feedback, archives, GameArchives(), warnings))
        return;
    statusBar->showMessage(doneMessage, 0);
    RefreshTreeMarks();
    ShowToolWarnings(warnings);
}

void MainWindow::ClearWorkingDirectory()
{
    WindowFeedback feedback(this);
    if (WorkingDirectory(workingDirectory, gtaDirectory)
            .Clear(feedback, WorkingDirectory::FolderNamesOf(archiveModel.get()), GameArchives(), playerWidget->IsPlaying(),
                   [this] { InstallEntryModel(nullptr); }))
        statusBar->showMessage(QStringLiteral("Working directory was cleared."));
    RefreshTreeMarks();
}

bool MainWindow::RemoveSubdirectories(const QDir &directory)
{
    return WorkingDirectory::RemoveSubdirectories(directory);
}

bool MainWindow::RemoveFiles(const QDir &directory)
{
    return WorkingDirectory::RemoveFiles(directory);
}

void MainWindow::ExportModFolder()
{
    LoadedArchive *archive = opened.Archive();
    if (!archive || !archive->TreeRow().isValid() || entryView->model() != opened.Model())
        return;
    UpdateChangeMarks();
    const QList<ModExport::Entry> entries = ModExport::EntriesOf(*opened.Model(), *archive, metaData);
    if (std::none_of(entries.cbegin(), entries.cend(), [](const ModExport::Entry &entry) { return entry.bChanged; })) {
        UserDialogs::Information(this, QStringLiteral("Note"),
                                 QStringLiteral("No entry of the opened archive has been changed: there is nothing to export."));
        return;
    }
    QString archivePath, lookupPath;
    if (!GamePathsOfOpened(archivePath, lookupPath))
        return;
    const QString folder = UserDialogs::ExistingDirectory(this, QStringLiteral("Select a folder for the mod"),
                                                          lastExportDirectory);
    if (folder.isEmpty())
        return;
    lastExportDirectory = folder;

    WindowFeedback feedback(this);
    const ModExport::Result result = ModExport(*archive, archivePath, lookupPath, entries).Export(folder, feedback);
    ModExport::Tell(result, feedback);
    if (result.outcome == ModExport::Outcome::Exported)
        statusBar->showMessage(QStringLiteral("The changes were exported as a mod folder to ") + folder);
}
