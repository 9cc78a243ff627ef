#pragma once
#include "app/LoadedArchive.h"
#include "audio/AudioConverter.h"
#include "metafile/IniMetafileModel.h"
#include "tree/XmlMetaData.h"

#include <QHash>
#include <QMainWindow>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <memory>
#include <optional>

class QAction;
class QCloseEvent;
class QDir;
class QDockWidget;
class QFrame;
class QGridLayout;
class QLabel;
class QListView;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeView;
class FModPlayerWidget;
class KeptOriginals;
class SearchDialog;
class TreeItem;
class TreeModel;
class WaveformView;
namespace FolderReplace
{
struct EntryKey;
}

// The program's one window and the hub of its work: owns the archive tree, the entry list of the
// loaded archive, the metadata list, the player strip, the search bar and every command.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *pParent = nullptr);
    ~MainWindow() override;

public slots:
    void ExpandRootElements();
    void SoundFileSelected(QModelIndex index);
    void LoadContent(TreeItem *pItem);
    void SetModel(QString iniFilepath, IniMetafileModel::ArchiveType type);
    void ExpandAll();
    void Replace();
    void ReplaceFromFolder();
    void Search();
    void ClearWorkingDirectory();
    void SetWorkingDirectory();
    void SaveArchive();
    void Exit();
    void ShowInfoDialog();
    bool Play(QModelIndex index);
    void ResetPlayingIndex();
    bool CheckGtaFolder();
    bool ExistsFolder(QString path);
    QString GetVirtualItemPath(QModelIndex index);
    void UpdateMetalist(QModelIndex selectedIndex);
    void PlayNext();
    void PlayPrevious();
    void Break();
    void StopPlaying();
    void PlayCurrent();
    bool ContentAvailable();
    void SearchNext();
    void ShowAboutQt();
    void ShowAbout();
    void SetGtaFolder();
    void SearchPrevious();
    void Export();
    void RevertToOriginal();
    void PlayOriginal();
    void ExportModFolder();

protected:
    void closeEvent(QCloseEvent *pEvent) override;

private:
    friend class SearchDialog;

    // Start-up steps
    void ReadSettings();
    void WriteSettings();
    void LoadConfiguration();
    bool CheckWorkingDirectory();
    void CreateActions();
    void CreateToolBar();

    // Loading and saving
    void ExportSfxArchive(TreeItem *pItem);
    void ExportStreamArchive(TreeItem *pItem);
    // Loads the metafile that unpacking wrote into `archiveFolder`, then shows the tool's warnings.
    void SetUnpackedModel(const QString &archiveFolder, IniMetafileModel::ArchiveType type, const QString &warnings);
    // Shows `pModel` (owned from now on), or nothing, and sets what is loaded with it.
    void InstallEntryModel(IniMetafileModel *pModel, std::optional<LoadedArchive> archive = std::nullopt);
    // False, after an "Error" box, when the metafile in an archive folder belongs to another
    // archive than the one at `archivePath` (two archives that share a station name).
    bool CheckFolderHoldsArchive(IniMetafileModel::ArchiveType type, const QString &metafilePath,
                                 const QString &archivePath);
    void ShowToolWarnings(const QString &warnings);
    // Puts the kept original of the archive selected in the tree back into the game folder.
    void RestoreOriginalArchive();
    // Puts every kept original back, after asking once.
    void RestoreAllOriginalAudio();
    // The archive selected in the tree; null, after a box saying so, when none is.
    TreeItem *SelectedArchive();
    // Where the archive's originals are kept; empty after an "Error" box when its game paths are ambiguous.
    std::optional<KeptOriginals> KeptOriginalsOf(const TreeItem *pItem);
    // Packs the kept original of the archive at treeRow into the game folder as a save does;
    // false when it failed (the user has been told) or was aborted.
    bool RestoreArchive(const QModelIndex &treeRow, const KeptOriginals &originals, QString &warnings);
    // After a restore: BankSlot.dat as kept, grown for what the other SFX archives hold now; false
    // after an "Error" box.
    bool RestoreBankSlots(const KeptOriginals &originals);
    // A game-folder path spelt as on disk; false after an "Error" box when two names differ only
    // in case.
    bool ResolveGamePath(const QString &path, QString &resolved);
    // Undoes or completes a save into the game folder that a crash cut off.
    void RepairInterruptedSaves();

    // Files of the loaded archive
    QString EntryFilePath(const QModelIndex &index) const;  // null when the entry leads outside its folder
    // Puts the chosen file in place of the entry's file `target` (see EntryFiles::Replace), with a
    // progress dialog for a conversion, and updates the marks. Shows no message of its own.
    AudioConverter::Result ReplaceEntryFile(const QModelIndex &index, const QString &target, const QString &chosen,
                                            double trimSeconds = 0.0);
    // Marks the changed entries and counts them in the status bar, from the originals folder.
    void UpdateChangeMarks();
    void ReportEntryOutsideArchive();                       // the box for a null EntryFilePath

    // Replacing entries from files of the user's (MainWindowReplace.cpp)
    // False, after a box, when the entry is playing or its file lies outside the archive.
    bool MayReplace(const QModelIndex &index, const QString &target);
    // Replaces one entry's file and shows how that went.
    void ReplaceAndReport(const QModelIndex &index, const QString &target, const QString &chosen);
    void DropFiles(const QPersistentModelIndex &index, const QStringList &paths);
    void ReplaceFolder(const QString &folder);
    // Replaces the entries that `names` name by the files at the same place in `paths`, after the
    // user saw the list and agreed; `source` names the files ("the dropped files").
    void ReplaceMatching(const QString &source, const QStringList &names, const QStringList &paths);
    QModelIndex EntryIndexOf(const FolderReplace::EntryKey &key) const;  // invalid when there is none
    // The game keeps all its sounds in one buffer, which a save grows to hold longer ones
    // (MainWindowSoundBuffer.cpp).
    struct PlannedReplace
    {
        QModelIndex index;
        QString target;                                     // the entry's file
        QString chosen;
    };
    // Asks, in one box, about the sounds among `planned` whose new files are much longer than their
    // originals. False for "Cancel"; after "&Trim to the original's length", `trimSeconds` holds
    // the original's length by target.
    bool AskAboutLongSounds(const QList<PlannedReplace> &planned, QHash<QString, double> &trimSeconds);
    // False, after the user declined, when saving would more than double the game's sound buffer.
    bool MaySaveSoundBuffer();
    QStringList ArchiveNames() const;                       // what a mod folder of this archive is named
    bool IsPlayingFile(const QString &filePath) const;
    bool RemoveFolder(const QString &path);                 // see WorkingDirectory::RemoveFolder
    bool RemoveSubdirectories(const QDir &directory);
    bool RemoveFiles(const QDir &directory);

    // The waveform strip of the selected entry
    void CreateWaveformDock();
    void WatchEntrySelection();                             // after the entry view got a new model
    void ShowWaveformOf(const QModelIndex &current);

    QTreeView *archiveView = nullptr;
    QTreeView *entryView = nullptr;
    QGridLayout *gridLayout = nullptr;
    QFrame *centralFrame = nullptr;
    QSplitter *splitter = nullptr;
    QString workingDirectory;
    QString lastImportDirectory;
    QString gtaDirectory;

    QAction *replaceAction = nullptr;
    QAction *replaceFolderAction = nullptr;
    QAction *searchAction = nullptr;
    QAction *clearAction = nullptr;
    QAction *workingDirectoryAction = nullptr;
    QAction *saveAction = nullptr;
    QAction *restoreAction = nullptr;
    QAction *restoreAllAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *infoAction = nullptr;
    QAction *expandAction = nullptr;
    QAction *playNextAction = nullptr;
    QAction *playPreviousAction = nullptr;
    QAction *breakAction = nullptr;
    QAction *stopAction = nullptr;
    QAction *playAction = nullptr;
    QAction *searchNextAction = nullptr;
    QAction *searchPreviousAction = nullptr;
    QAction *exportAction = nullptr;
    QAction *aboutQtAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *gtaDirectoryAction = nullptr;
    QAction *revertAction = nullptr;
    QAction *playOriginalAction = nullptr;
    QAction *exportModAction = nullptr;

    QToolBar *toolBar = nullptr;
    QStatusBar *statusBar = nullptr;
    QLabel *changedLabel = nullptr;                         // the count of changed entries
    FModPlayerWidget *playerWidget = nullptr;
    QMenuBar *menuBar = nullptr;
    // Persistent: a model that goes takes its indexes with it, so none can match a later entry.
    QPersistentModelIndex playingIndex;
    QString playingFile;                    // the playing entry's file, also after a reload
    QPersistentModelIndex searchIndex;
    bool useKivoMetadata = true;
    XmlMetaData metaData;
    QListView *metaList = nullptr;
    SearchDialog *searchBar = nullptr;
    QString lastExportDirectory;
    QDockWidget *waveformDock = nullptr;
    WaveformView *waveformView = nullptr;                   // owned by the dock
    QAction *waveformAction = nullptr;                      // the dock's own

    // The views do not own their models.
    std::unique_ptr<TreeModel> archiveModel;
    std::unique_ptr<IniMetafileModel> entryModel;
    // Set with every model the entry view shows, and only then.
    std::optional<LoadedArchive> loadedArchive;
};
