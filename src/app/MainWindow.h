#pragma once
#include "app/archive/GameArchive.h"
#include "app/archive/OpenedArchive.h"
#include "app/archive/SoundBufferGrowth.h"
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
class QFrame;
class QGridLayout;
class QListView;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeView;
class ChangeMarks;
class FModPlayerWidget;
class SearchDialog;
class TreeItem;
class TreeModel;
class WaveformDock;

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
    void CheckGameAudio();

protected:
    void closeEvent(QCloseEvent *pEvent) override;

private:
    friend class SearchDialog;

    // Start-up and settings (MainWindow.cpp)
    void ReadSettings();
    void WriteSettings();
    void LoadConfiguration();
    bool CheckWorkingDirectory();
    // Actions, menus and views (MainWindowActions.cpp)
    void CreateActions();
    void CreateToolBar();
    void WatchEntrySelection();                             // after the entry view got a new model

    // Commands on archives (MainWindowArchives.cpp)
    // Unpacks the archive into the working directory and shows it.
    void UnpackArchive(TreeItem *pItem);
    // Loads the metafile that unpacking wrote into `archiveFolder`, then shows the tool's warnings.
    void SetUnpackedModel(const QString &archiveFolder, IniMetafileModel::ArchiveType type, const QString &warnings);
    // Shows `model`, or nothing, and opens it with `archive`.
    void InstallEntryModel(std::unique_ptr<IniMetafileModel> model, std::optional<LoadedArchive> archive = std::nullopt);
    // False, after an "Error" box, when the metafile in an archive folder belongs to another
    // archive than the one at `archivePath` (two archives that share a station name).
    bool CheckFolderHoldsArchive(IniMetafileModel::ArchiveType type, const QString &metafilePath,
                                 const QString &archivePath);
    void ShowToolWarnings(const QString &warnings);
    // Puts the kept original of the archive selected in the tree back into the game folder.
    void RestoreOriginalArchive();
    // Puts every kept original back, after asking once.
    void RestoreAllOriginalAudio();
    // Puts the kept originals of `archives` back, then says `doneMessage` in the status bar.
    void RestoreArchives(const QList<GameArchive> &archives, const QString &doneMessage);
    // The archive of `item` in the game folder; none after an "Error" box when its names are ambiguous.
    std::optional<GameArchive> GameArchiveOf(const TreeItem &item, const QModelIndex &treeRow = QModelIndex());
    // The archives of the tree in the game folder; those with ambiguous names are left out.
    QList<GameArchive> GameArchives() const;
    // The opened archive's game files as spelt on disk (a game folder copied from Windows may spell
    // its names in another case), after asking for the game folder if it was loaded without one;
    // false after a box, as when two names differ only in case.
    bool GamePathsOfOpened(QString &archivePath, QString &lookupPath);
    // Undoes or completes a save into the game folder that a crash cut off.
    void RepairInterruptedSaves();
    // False, after the user declined, when saving would more than double the game's sound buffer.
    bool MaySaveSoundBuffer();
    bool RemoveSubdirectories(const QDir &directory);
    bool RemoveFiles(const QDir &directory);

    // Commands on entries (MainWindowEntries.cpp)
    // False, after a box, when the entry is playing or its file lies outside the archive.
    bool MayReplace(const QModelIndex &index, const QString &target);
    // Puts `chosen` in place of the entry's file `target` (see EntryFiles::Replace) and shows how that went.
    void ReplaceAndReport(const QModelIndex &index, const QString &target, const QString &chosen);
    void DropFiles(const QPersistentModelIndex &index, const QStringList &paths);
    void ReplaceFolder(const QString &folder);
    // Replaces the entries that `names` name by the files at the same place in `paths`, after the
    // user saw the list and agreed; `source` names the files ("the dropped files").
    void ReplaceMatching(const QString &source, const QStringList &names, const QStringList &paths);
    // Asks about the much longer sounds among `planned`. False for "Cancel"; after "&Trim to the
    // original's length", `trimSeconds` holds the originals' lengths by target.
    bool AskAboutLongSounds(const QList<SoundBufferGrowth::Planned> &planned, QHash<QString, double> &trimSeconds);
    // Marks the changed entries and those not saved, counts them in the status bar and marks the
    // archive's row in the tree.
    void UpdateChangeMarks();
    // Marks the archives of the tree whose unpacked folders hold changes not saved, in the background.
    void RefreshTreeMarks();

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
    QAction *checkAudioAction = nullptr;
    QAction *matchLoudnessAction = nullptr;
    bool matchLoudness = true;                              // converted replacements get the original's loudness

    QToolBar *toolBar = nullptr;
    QStatusBar *statusBar = nullptr;
    ChangeMarks *changeMarks = nullptr;                     // of the entries and in the tree
    FModPlayerWidget *playerWidget = nullptr;
    QMenuBar *menuBar = nullptr;
    // Persistent: a model that goes takes its indexes with it, so none can match a later entry.
    QPersistentModelIndex playingIndex;
    QPersistentModelIndex searchIndex;
    bool useKivoMetadata = true;
    XmlMetaData metaData;
    QListView *metaList = nullptr;
    SearchDialog *searchBar = nullptr;
    QString lastExportDirectory;
    WaveformDock *waveformDock = nullptr;

    // The views do not own their models.
    std::unique_ptr<TreeModel> archiveModel;
    OpenedArchive opened;                                   // what the entry view shows
};
