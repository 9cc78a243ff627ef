#include "app/MainWindow.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeView>

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
}

void MainWindow::CreateActions()
{
    QFrame *owner = centralFrame;
    replaceAction = CreateAction(owner, this, ":/import", "&Replace", "Ctrl+R", &MainWindow::Replace);
    replaceFolderAction = CreateAction(owner, this, ":/import", "Replace from fol&der...", nullptr,
                                       &MainWindow::ReplaceFromFolder);
    searchAction = CreateAction(owner, this, ":/search", "&Find", "Ctrl+F", &MainWindow::Search);
    clearAction = CreateAction(owner, this, ":/clear", "&Clear working directory", "Ctrl+X",
                               &MainWindow::ClearWorkingDirectory);
    workingDirectoryAction = CreateAction(owner, this, ":/working", "Set &working directory", "Ctrl+G",
                                          &MainWindow::SetWorkingDirectory);
    saveAction = CreateAction(owner, this, ":/save", "&Save", "Ctrl+S", &MainWindow::SaveArchive);
    restoreAction = CreateAction(owner, this, ":/gta_small", "Restore &original archive", nullptr,
                                 &MainWindow::RestoreOriginalArchive);
    restoreAllAction = CreateAction(owner, this, ":/gta_small", "Restore a&ll original audio", nullptr,
                                    &MainWindow::RestoreAllOriginalAudio);
    exitAction = CreateAction(owner, this, ":/exit", "&Exit", "Ctrl+W", &MainWindow::Exit);
    infoAction = CreateAction(owner, this, ":/info", "&Info", "F1", &MainWindow::ShowInfoDialog);
    expandAction = CreateAction(owner, this, ":/expand", "&Expand all", "Ctrl+E", &MainWindow::ExpandAll);
    playNextAction = CreateAction(owner, this, ":/play_next", "Play &next", "Right", &MainWindow::PlayNext);
    playPreviousAction = CreateAction(owner, this, ":/play_previous", "Play &previous", "Left",
                                      &MainWindow::PlayPrevious);
    breakAction = CreateAction(owner, this, ":/break", "&Break", "Ctrl+B", &MainWindow::Break);
    stopAction = CreateAction(owner, this, ":/stop", "&Stop", "Esc", &MainWindow::StopPlaying);
    playAction = CreateAction(owner, this, ":/play", "&Play", "Space", &MainWindow::PlayCurrent);
    searchNextAction = CreateAction(owner, this, ":/search", "Find &next", "F3", &MainWindow::SearchNext);
    searchPreviousAction = CreateAction(owner, this, ":/search", "Find &previous", "Shift+F3",
                                        &MainWindow::SearchPrevious);
    exportAction = CreateAction(owner, this, ":/export", "&Export", nullptr, &MainWindow::Export);
    aboutQtAction = CreateAction(owner, this, ":/about", "About &Qt", nullptr, &MainWindow::ShowAboutQt);
    aboutAction = CreateAction(owner, this, ":/about", "&About", nullptr, &MainWindow::ShowAbout);
    gtaDirectoryAction = CreateAction(owner, this, ":/gta_small", "Set &GTA Directory", nullptr,
                                      &MainWindow::SetGtaFolder);

    revertAction = CreateAction(owner, this, ":/revert", "Re&vert to original", nullptr, &MainWindow::RevertToOriginal);
    playOriginalAction = CreateAction(owner, this, ":/play", "Play original", nullptr, &MainWindow::PlayOriginal);
    exportModAction = CreateAction(owner, this, ":/export", "Export changes as &mod folder...", nullptr,
                                   &MainWindow::ExportModFolder);

    // The entry view's own menu: what acts on the entry under the pointer.
    auto *contextSeparator = new QAction(entryView);
    contextSeparator->setSeparator(true);
    entryView->setContextMenuPolicy(Qt::ActionsContextMenu);
    entryView->addActions({replaceAction, exportAction, playAction, contextSeparator, revertAction, playOriginalAction});

    menuBar = new QMenuBar;

    QMenu *fileMenu = menuBar->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(workingDirectoryAction);
    fileMenu->addAction(clearAction);
    fileMenu->addSeparator();
    fileMenu->addAction(gtaDirectoryAction);
    fileMenu->addSeparator();
    fileMenu->addAction(saveAction);
    fileMenu->addAction(restoreAction);
    fileMenu->addAction(restoreAllAction);
    fileMenu->addAction(exportModAction);
    fileMenu->addAction(exitAction);

    QMenu *actionsMenu = menuBar->addMenu(QStringLiteral("&Actions"));
    actionsMenu->addAction(infoAction);
    actionsMenu->addAction(replaceAction);
    actionsMenu->addAction(replaceFolderAction);
    actionsMenu->addAction(revertAction);
    actionsMenu->addAction(exportAction);
    actionsMenu->addSeparator();
    actionsMenu->addAction(searchAction);
    actionsMenu->addAction(searchNextAction);
    actionsMenu->addAction(searchPreviousAction);
    actionsMenu->addSeparator();
    actionsMenu->addAction(expandAction);

    QMenu *playerMenu = menuBar->addMenu(QStringLiteral("&Player"));
    playerMenu->addAction(playAction);
    playerMenu->addSeparator();
    playerMenu->addAction(stopAction);
    playerMenu->addAction(breakAction);
    playerMenu->addSeparator();
    playerMenu->addAction(playNextAction);
    playerMenu->addAction(playPreviousAction);

    QMenu *viewMenu = menuBar->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(waveformAction);

    QMenu *infoMenu = menuBar->addMenu(QStringLiteral("&Info"));
    infoMenu->addAction(aboutAction);
    infoMenu->addAction(aboutQtAction);

    setMenuBar(menuBar);
}

void MainWindow::CreateToolBar()
{
    toolBar = new QToolBar;
    toolBar->setMovable(false);
    toolBar->setIconSize(QSize(32, 32));
    toolBar->addAction(saveAction);
    toolBar->addAction(exportAction);
    toolBar->addAction(replaceAction);
    toolBar->addAction(workingDirectoryAction);
    toolBar->addAction(clearAction);
    toolBar->addAction(searchAction);
    toolBar->addAction(infoAction);
    toolBar->addSeparator();
    toolBar->addAction(playPreviousAction);
    toolBar->addAction(stopAction);
    toolBar->addAction(playAction);
    toolBar->addAction(breakAction);
    toolBar->addAction(playNextAction);
    addToolBar(toolBar);
}
