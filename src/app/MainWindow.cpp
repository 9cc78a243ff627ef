#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QListView>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTimer>
#include <QTreeView>

#include "about/AboutDialog.h"
#include "app/ChangeMarks.h"
#include "app/CombinePath.h"
#include "app/EntryDropTarget.h"
#include "app/WaveformDock.h"
#include "dialogs/UserDialogs.h"
#include "game/GameFolderFinder.h"
#include "player/FModPlayerWidget.h"
#include "search/SearchDialog.h"
#include "tree/TreeModel.h"

namespace
{
const char *const settingsFile = "settings.ini";

// A real archive list is a few kilobytes. Beyond this the tree alone would take gigabytes, so
// such a file is refused like one that cannot be read.
constexpr qint64 largestConfiguration = qint64(64) * 1024 * 1024;

QTreeView *CreateFixedHeaderView()
{
    auto *view = new QTreeView;
    view->header()->setSectionsMovable(false);
    view->header()->setSectionsClickable(false);
    return view;
}
}

MainWindow::MainWindow(QWidget *pParent)
    : QMainWindow(pParent)
{
    metaData = ReadMetaData(QCoreApplication::applicationDirPath() + QStringLiteral("/MetaData.xml"));

    setWindowTitle(QStringLiteral("Zelt's KIVO GUI RozivOze 1.0"));
    setWindowIcon(QIcon(QStringLiteral(":/main_icon")));
    resize(600, 550);

    centralFrame = new QFrame;
    centralFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setCentralWidget(centralFrame);

    archiveView = CreateFixedHeaderView();
    archiveView->setObjectName(QStringLiteral("archiveView"));
    entryView = CreateFixedHeaderView();
    entryView->setObjectName(QStringLiteral("entryView"));
    // Shift, Ctrl and Ctrl+A take several entries for Export and Revert; one-entry commands take the current one.
    entryView->setSelectionMode(QAbstractItemView::ExtendedSelection);

    gridLayout = new QGridLayout(centralFrame);
    splitter = new QSplitter(centralFrame);

    metaList = new QListView;
    metaList->setObjectName(QStringLiteral("metaList"));
    // The list model has no parent: the view does not own it, so the window deletes it.
    metaList->setModel(new QStringListModel);

    playerWidget = new FModPlayerWidget(this);
    gridLayout->addWidget(playerWidget, 0, 0, 1, 3);
    playerWidget->setFixedHeight(30);

    searchBar = new SearchDialog(this);
    gridLayout->addWidget(searchBar, 2, 0, 1, 3);
    searchBar->setFixedHeight(48);

    // The views go straight into the splitter; the grid keeps player, splitter and search rows.
    splitter->addWidget(archiveView);
    splitter->addWidget(entryView);
    splitter->addWidget(metaList);
    gridLayout->addWidget(splitter, 1, 1);

    statusBar = new QStatusBar;
    setStatusBar(statusBar);
    changeMarks = new ChangeMarks(statusBar, this);
    waveformDock = new WaveformDock(entryView, playerWidget, opened, this);
    addDockWidget(Qt::BottomDockWidgetArea, waveformDock);

    ReadSettings();
    LoadConfiguration();
    ExpandRootElements();

    connect(archiveView, &QTreeView::doubleClicked, this, &MainWindow::SoundFileSelected);
    connect(entryView, &QTreeView::clicked, this, &MainWindow::UpdateMetalist);
    connect(entryView, &QTreeView::doubleClicked, this, &MainWindow::Play);
    connect(playerWidget, &FModPlayerWidget::PlayingStopped, this, &MainWindow::ResetPlayingIndex);
    connect(waveformDock, &WaveformDock::LoopStartChanged, this, &MainWindow::UpdateChangeMarks);
    // Queued: the replacement's boxes must not run inside the drop, which the file manager waits on.
    connect(new EntryDropTarget(entryView), &EntryDropTarget::FilesDropped, this, &MainWindow::DropFiles,
            Qt::QueuedConnection);

    CheckWorkingDirectory();
    if (CheckGtaFolder())
        RepairInterruptedSaves();
    QTimer::singleShot(0, this, &MainWindow::RefreshTreeMarks);

    CreateActions();
    CreateToolBar();

    splitter->setSizes({125, 375, 100});
    metaList->setVisible(false);
}

MainWindow::~MainWindow()
{
    // Views first forget the models they do not own, then the models go.
    QAbstractItemModel *listModel = metaList->model();
    metaList->setModel(nullptr);
    delete listModel;
    entryView->setModel(nullptr);
    archiveView->setModel(nullptr);
}

void MainWindow::LoadConfiguration()
{
    const QString path = CombinePath(QCoreApplication::applicationDirPath(), QStringLiteral("configuration.ini"));
    QFile file(path);
    // Only a plain file: a pipe would block the start for good, a device would never end.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > largestConfiguration) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("Failed to load configuration.\n"
                                             "Configuration-file could not be found or isn't accessable."));
        return;
    }
    archiveModel = std::make_unique<TreeModel>(QString::fromLatin1(file.readAll()), useKivoMetadata);
    archiveView->setModel(archiveModel.get());
}

void MainWindow::ReadSettings()
{
    QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
    workingDirectory = settings.value(QStringLiteral("WorkingDirectory"), QString()).toString();
    lastImportDirectory = settings.value(QStringLiteral("LastImportDirectory"), QString()).toString();
    lastExportDirectory = settings.value(QStringLiteral("LastExportDirectory"), QString()).toString();
    gtaDirectory = settings.value(QStringLiteral("GtaDirectory"), QString()).toString();
    useKivoMetadata = settings.contains(QStringLiteral("UseKivoMetadata"))
                    ? settings.value(QStringLiteral("UseKivoMetadata")).toBool()
                    : true;
    waveformDock->setVisible(settings.value(QStringLiteral("ShowWaveform"), true).toBool());
    matchLoudness = settings.value(QStringLiteral("MatchLoudness"), true).toBool();
    statusBar->showMessage(workingDirectory);
}

void MainWindow::WriteSettings()
{
    QSettings settings(QString::fromLatin1(settingsFile), QSettings::IniFormat);
    settings.setValue(QStringLiteral("WorkingDirectory"), workingDirectory);
    settings.setValue(QStringLiteral("LastImportDirectory"), lastImportDirectory);
    settings.setValue(QStringLiteral("LastExportDirectory"), lastExportDirectory);
    settings.setValue(QStringLiteral("GtaDirectory"), gtaDirectory);
    settings.setValue(QStringLiteral("UseKivoMetadata"), useKivoMetadata);
    settings.setValue(QStringLiteral("ShowWaveform"), !waveformDock->isHidden());
    settings.setValue(QStringLiteral("MatchLoudness"), matchLoudness);
    // Unsaved, the folders would be asked for again at the next start with no hint why.
    settings.sync();
    if (settings.status() == QSettings::AccessError)
        UserDialogs::Warning(this, QStringLiteral("Warning"),
                             QStringLiteral("The settings could not be saved to ")
                                 + QDir::current().absoluteFilePath(QString::fromLatin1(settingsFile))
                                 + QStringLiteral("."));
}

bool MainWindow::CheckWorkingDirectory()
{
    if (!workingDirectory.isEmpty() && ExistsFolder(workingDirectory))
        return true;
    UserDialogs::Information(this, QStringLiteral("Workingdirectory"),
                             QStringLiteral("No working directory was defined or the old one wasn't found.\n"
                                            "Please choose a new directory."));
    workingDirectory = UserDialogs::ExistingDirectory(this, QStringLiteral("Select a working directory"), QString());
    statusBar->showMessage(workingDirectory);
    return !workingDirectory.isEmpty();
}

bool MainWindow::CheckGtaFolder()
{
    if (!gtaDirectory.isEmpty() && ExistsFolder(gtaDirectory))
        return true;
    UserDialogs::Information(this, QStringLiteral("GTA Folder was not found."),
                             QStringLiteral("GTA Folder was not found or was not specified. Please select your GTA Folder"));
    gtaDirectory = UserDialogs::ExistingDirectory(this, QString(), GameFolderFinder(QDir::homePath()).FindFirst());
    return !gtaDirectory.isEmpty();
}

void MainWindow::SetWorkingDirectory()
{
    const QString chosen = UserDialogs::ExistingDirectory(this, QStringLiteral("Select a directory"), QString());
    if (chosen.isEmpty())
        return;
    workingDirectory = chosen;
    statusBar->showMessage(workingDirectory);
    RefreshTreeMarks();
}

void MainWindow::SetGtaFolder()
{
    const QString start = gtaDirectory.isEmpty() ? GameFolderFinder(QDir::homePath()).FindFirst() : QString();
    const QString chosen = UserDialogs::ExistingDirectory(this, QString(), start);
    if (chosen.isEmpty())
        return;
    gtaDirectory = chosen;
    // A save cut off in this folder would otherwise wait for a start that may never read it.
    RepairInterruptedSaves();
}

bool MainWindow::ExistsFolder(QString path)
{
    return QDir(path).exists();
}

void MainWindow::closeEvent(QCloseEvent *pEvent)
{
    WriteSettings();
    pEvent->accept();
}

void MainWindow::Exit()
{
    close();
}

void MainWindow::ShowAboutQt()
{
    QMessageBox::aboutQt(this, QStringLiteral("About Qt"));
}

void MainWindow::ShowAbout()
{
    AboutDialog dialog(this,
                       QStringLiteral("Zelt's KIVO GUI RozivOze 1.0\n"
                                      "Browse, play, replace and repack the audio archives of GTA."),
                       QPixmap(QStringLiteral(":/gta_logo")));
    dialog.exec();
}
