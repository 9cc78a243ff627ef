#include "app/MainWindow.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStringListModel>
#include <QToolBar>
#include <QTreeView>

#include "app/CatalogWindow.h"
#include "app/DescriptionCommands.h"
#include "app/WaveformDock.h"
#include "metafile/IniMetafileItem.h"
#include "search/SearchDialog.h"

namespace
{
// The actions belong to the central frame; their shortcuts act anywhere in the window.
template <typename Slot>
QAction *CreateAction(QFrame *pOwner, MainWindow *pWindow, const char *icon, const char *text,
                      const char *shortcut, Slot slot)
{
    auto *action = new QAction(QIcon(QString::fromLatin1(icon)), QString::fromLatin1(text), pOwner);
    QObject::connect(action, &QAction::triggered, pWindow, slot);
    if (shortcut)
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    return action;
}

void ExpandTopLevel(QTreeView *pView)
{
    const QAbstractItemModel *model = pView->model();
    if (!model)
        return;
    for (int row = 0; row < model->rowCount(); ++row)
        pView->expand(model->index(row, 0));
}
}

void MainWindow::CreateActions()
{
    const auto action = [this](const char *icon, const char *text, const char *shortcut, auto slot) {
        return CreateAction(centralFrame, this, icon, text, shortcut, slot);
    };
    replaceAction = action(":/import", "&Replace", "Ctrl+R", &MainWindow::Replace);
    replaceFolderAction = action(":/import", "Replace from fol&der...", nullptr, &MainWindow::ReplaceFromFolder);
    searchAction = action(":/search", "&Find", "Ctrl+F", &MainWindow::Search);
    clearAction = action(":/clear", "&Clear working directory", "Ctrl+X", &MainWindow::ClearWorkingDirectory);
    workingDirectoryAction = action(":/working", "Set &working directory", "Ctrl+G", &MainWindow::SetWorkingDirectory);
    saveAction = action(":/save", "&Save", "Ctrl+S", &MainWindow::SaveArchive);
    restoreAction = action(":/gta_small", "Restore &original archive", nullptr, &MainWindow::RestoreOriginalArchive);
    restoreAllAction = action(":/gta_small", "Restore a&ll original audio", nullptr,
                              &MainWindow::RestoreAllOriginalAudio);
    exitAction = action(":/exit", "&Exit", "Ctrl+W", &MainWindow::Exit);
    infoAction = action(":/info", "&Info", "F1", &MainWindow::ShowInfoDialog);
    expandAction = action(":/expand", "&Expand all", "Ctrl+E", &MainWindow::ExpandAll);
    playNextAction = action(":/play_next", "Play &next", "Right", &MainWindow::PlayNext);
    playPreviousAction = action(":/play_previous", "Play &previous", "Left", &MainWindow::PlayPrevious);
    breakAction = action(":/break", "&Break", "Ctrl+B", &MainWindow::Break);
    stopAction = action(":/stop", "&Stop", "Esc", &MainWindow::StopPlaying);
    playAction = action(":/play", "&Play", "Space", &MainWindow::PlayCurrent);
    searchNextAction = action(":/search", "Find &next", "F3", &MainWindow::SearchNext);
    searchPreviousAction = action(":/search", "Find &previous", "Shift+F3", &MainWindow::SearchPrevious);
    exportAction = action(":/export", "&Export", nullptr, &MainWindow::Export);
    aboutQtAction = action(":/about", "About &Qt", nullptr, &MainWindow::ShowAboutQt);
    aboutAction = action(":/about", "&About", nullptr, &MainWindow::ShowAbout);
    gtaDirectoryAction = action(":/gta_small", "Set &GTA Directory", nullptr, &MainWindow::SetGtaFolder);
    revertAction = action(":/revert", "Re&vert to original", nullptr, &MainWindow::RevertToOriginal);
    playOriginalAction = action(":/play", "Play original", nullptr, &MainWindow::PlayOriginal);
    exportModAction = action(":/export", "Export changes as &mod folder...", nullptr, &MainWindow::ExportModFolder);
    checkAudioAction = action(":/gta_small", "Check game a&udio...", nullptr, &MainWindow::CheckGameAudio);
    matchLoudnessAction = action("", "Match &loudness of the original", nullptr, [this](bool bChecked) { matchLoudness = bChecked; });
    matchLoudnessAction->setCheckable(true);
    matchLoudnessAction->setChecked(matchLoudness);
    const auto archives = [this] { return archiveModel ? CatalogArchivesOf(*archiveModel) : QList<CatalogArchive>(); };
    auto *descriptions = new DescriptionCommands(metaData, entryView, [this](const QModelIndex &index) { return GetVirtualItemPath(index); },
                                                 archives, this);
    auto *catalogWindow = new CatalogWindow([this, archives] { return DescriptionCatalog(archives(), metaData); },
                                            [this] { return gtaDirectory; }, entryView, playerWidget, opened, this);
    connect(catalogWindow, &CatalogWindow::ArchiveRequested, this, &MainWindow::SoundFileSelected);
    connect(catalogWindow, &CatalogWindow::EntryPlayRequested, this, &MainWindow::Play);
    connect(descriptions, &DescriptionCommands::DescriptionsChanged, catalogWindow, &CatalogWindow::Refresh);
    connect(descriptions, &DescriptionCommands::DescriptionsChanged, this, [this] { UpdateMetalist(entryView->currentIndex()); });
    connect(catalogWindow, &CatalogWindow::StatusMessage, this, [this](const QString &message) { statusBar->showMessage(message); });
    connect(descriptions, &DescriptionCommands::StatusMessage, this, [this](const QString &message) { statusBar->showMessage(message); });
    QAction *findAllAction = action(":/search", "Find in &all archives...", "Ctrl+Shift+F", [catalogWindow] { catalogWindow->ShowCatalog(); });
    QAction *describeAction = action(":/info", "Descri&be...", "F2", [descriptions] { descriptions->Describe(); });
    QAction *importDescriptionsAction = action(":/import", "Import descr&iptions...", nullptr, [descriptions] { descriptions->Import(); });
    QAction *exportDescriptionsAction = action(":/export", "Export descrip&tions...", nullptr, [descriptions] { descriptions->Export(); });

    // The entry view's own menu: what acts on the entry under the pointer.
    auto *contextSeparator = new QAction(entryView);
    contextSeparator->setSeparator(true);
    entryView->setContextMenuPolicy(Qt::ActionsContextMenu);
    entryView->addActions({replaceAction, exportAction, playAction, contextSeparator, revertAction, playOriginalAction, describeAction});

    // A null action stands for a separator.
    const auto addMenu = [this](const char *title, const QList<QAction *> &actions) {
        QMenu *menu = menuBar->addMenu(QString::fromLatin1(title));
        for (QAction *action : actions) {
            if (action)
                menu->addAction(action);
            else
                menu->addSeparator();
        }
    };
    menuBar = new QMenuBar;
    addMenu("&File", {workingDirectoryAction, clearAction, nullptr, gtaDirectoryAction, checkAudioAction, nullptr,
                      saveAction, restoreAction, restoreAllAction, exportModAction, importDescriptionsAction,
                      exportDescriptionsAction, exitAction});
    addMenu("&Actions", {infoAction, replaceAction, replaceFolderAction, matchLoudnessAction, revertAction, describeAction,
                         exportAction, nullptr, searchAction, searchNextAction, searchPreviousAction, findAllAction,
                         nullptr, expandAction});
    addMenu("&Player", {playAction, nullptr, stopAction, breakAction, nullptr, playNextAction, playPreviousAction});
    addMenu("&View", {waveformDock->toggleViewAction()});
    addMenu("&Info", {aboutAction, aboutQtAction});
    setMenuBar(menuBar);
}

void MainWindow::CreateToolBar()
{
    toolBar = new QToolBar;
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(32, 32));
    toolBar->addActions({saveAction, exportAction, replaceAction, workingDirectoryAction, clearAction, searchAction, infoAction});
    toolBar->addSeparator();
    toolBar->addActions({playPreviousAction, stopAction, playAction, breakAction, playNextAction});
    addToolBar(toolBar);
}

void MainWindow::WatchEntrySelection()
{
    waveformDock->ShowEntry(QModelIndex());
    if (const QItemSelectionModel *selection = entryView->selectionModel())
        connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
            waveformDock->ShowEntry(current);
            // Keys, play next, a search hit move the current entry without a click.
            UpdateMetalist(current);
        });
}

void MainWindow::Search()
{
    searchBar->SetKeyboardFocus();
    searchBar->SelectSearchtext();
}

void MainWindow::SearchNext()
{
    searchBar->SearchNext();
}

void MainWindow::SearchPrevious()
{
    searchBar->SearchPrevious();
}

void MainWindow::ExpandAll()
{
    ExpandTopLevel(entryView);
}

void MainWindow::ExpandRootElements()
{
    ExpandTopLevel(archiveView);
}

void MainWindow::ShowInfoDialog()
{
    const QItemSelectionModel *selection = entryView->selectionModel();
    if (!selection)
        return;
    const QModelIndexList selected = selection->selectedIndexes();
    if (selected.isEmpty())
        return;
    // isHidden, not isVisible: the list's own state counts, also while the window is not shown.
    metaList->setVisible(metaList->isHidden());
    UpdateMetalist(entryView->currentIndex());
}

void MainWindow::UpdateMetalist(QModelIndex selectedIndex)
{
    if (!selectedIndex.isValid() || metaList->isHidden())
        return;
    auto *listModel = qobject_cast<QStringListModel *>(metaList->model());
    if (!listModel)
        return;
    const QString text = metaData.GetText(GetVirtualItemPath(selectedIndex));
    listModel->setStringList(text.isEmpty() ? QStringList()
                                            : text.split(QLatin1Char(';'), Qt::SkipEmptyParts));
}

QString MainWindow::GetVirtualItemPath(QModelIndex index)
{
    // Descriptions follow the archive the list was loaded for, whatever row is selected now.
    if (!opened.Archive())
        return QString();
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    return opened.Archive()->VirtualPath(item ? item->GetName() : QString());
}
