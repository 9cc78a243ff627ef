#include "app/ChangeMarks.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSet>
#include <QStatusBar>
#include <QThread>

#include <memory>
#include <utility>

#include "app/CombinePath.h"
#include "app/archive/EntryStates.h"
#include "app/archive/LoadedArchive.h"
#include "app/archive/OpenedArchive.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
struct Folder
{
    EntryStates states;
    QString path;
    QString metafile;
};

// A folder that holds no unpacked archive has nothing to save; one whose archive cannot be listed
// cannot be told, and is left unmarked rather than marked on a guess.
bool HoldsNotSaved(const Folder &folder)
{
    if (!QFileInfo(CombinePath(folder.path, folder.metafile)).isFile())
        return false;
    try {
        return folder.states.Compare(folder.path).NotSavedCount() > 0;
    } catch (const QString &) {
        return false;
    }
}
}

ChangeMarks::ChangeMarks(QStatusBar *statusBar, QObject *pParent)
    : QObject(pParent), statusBar(statusBar), count(new QLabel)
{
    count->setObjectName(QStringLiteral("changedCount"));
    statusBar->addPermanentWidget(count);
}

ChangeMarks::~ChangeMarks()
{
    if (pThread) {
        pThread->wait();
        delete pThread;
    }
}

void ChangeMarks::Update(OpenedArchive &opened, const QAbstractItemModel *shown, TreeModel *treeModel, bool bJustOpened)
{
    if (!opened.Archive() || shown != opened.Model()) {
        count->clear();
        return;
    }
    const OpenedArchive::Marks marks = opened.MarkChanges();
    const IniMetafileModel &model = *opened.Model();
    const int notSaved = model.NotSavedCount();
    count->setText(QStringLiteral("%1 of %2 entries changed").arg(model.ChangedCount()).arg(model.EntryCount())
                   + (notSaved > 0 ? QStringLiteral(", %1 not saved").arg(notSaved) : QString()));
    if (treeModel)
        treeModel->SetNotSaved(opened.Archive()->TreeRow(), notSaved > 0);
    if (!bJustOpened)
        return;
    if (marks.bCompared && !marks.bOriginalKept)
        statusBar->showMessage(QStringLiteral("No original of this archive is kept yet: the game's archive as it is "
                                              "now counts as the original."));
    else if (!marks.problem.isEmpty())
        statusBar->showMessage(QStringLiteral("Changes counted since unpacking only: ")
                               + marks.problem.section(QLatin1Char('\n'), -1));
}

void ChangeMarks::RefreshTree(TreeModel *newTree, const QString &gameFolder, const QString &newWorkingDirectory)
{
    tree = newTree;
    workingDirectory = newWorkingDirectory;
    // Only an archive unpacked here can hold changes; resolving the game paths of every archive
    // of a big tree would hold up the start.
    const QStringList names = QDir(workingDirectory).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const QSet<QString> unpacked(names.cbegin(), names.cend());
    archives.clear();
    for (const QModelIndex &index : tree->ArchiveIndexes()) {
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if ((!item->IsSfx() && !item->IsStream()) || !unpacked.contains(item->GetName()))
            continue;
        try {
            archives.append(GameArchive(index, gameFolder));
        } catch (const QString &) {
            // Names that differ only in case: the archive's own commands say so when it is used.
        }
    }
    bAgain = pThread != nullptr;
    if (!bAgain)
        StartTree();
}

void ChangeMarks::StartTree()
{
    QList<Folder> folders;
    for (const GameArchive &archive : archives)
        folders.append({EntryStates(archive.Type(), archive.ArchivePath(), archive.LookupFilePath()),
                        CombinePath(workingDirectory, archive.Name()), MetafileName(archive.Type())});
    const QList<GameArchive> marked = archives;
    auto results = std::make_shared<QList<bool>>();
    pThread = QThread::create([folders, results] {
        for (const Folder &folder : folders)
            results->append(HoldsNotSaved(folder));
    });
    connect(pThread, &QThread::finished, this, [this, marked, results] {
        pThread->wait();
        delete std::exchange(pThread, nullptr);
        if (std::exchange(bAgain, false)) {
            StartTree();
            return;
        }
        for (int i = 0; tree && i < marked.size() && i < results->size(); ++i)
            tree->SetNotSaved(marked[i].TreeRow(), results->at(i));
        emit TreeMarked();
    });
    pThread->start(QThread::LowPriority);
}
