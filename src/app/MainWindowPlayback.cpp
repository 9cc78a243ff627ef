#include "app/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListView>
#include <QStatusBar>
#include <QStringListModel>
#include <QTreeView>

#include "app/CombinePath.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"

namespace
{
void ExpandTopLevel(QTreeView *pView)
{
    const QAbstractItemModel *model = pView->model();
    if (!model)
        return;
    for (int row = 0; row < model->rowCount(); ++row)
        pView->expand(model->index(row, 0));
}
}

QString MainWindow::EntryFilePath(const QModelIndex &index) const
{
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    if (!loadedArchive || !item || index.model() != entryModel.get())
        return QString();
    return loadedArchive->FilePath(item->GetName());
}

bool MainWindow::IsPlayingFile(const QString &filePath) const
{
    if (playingFile.isEmpty() || filePath.isEmpty())
        return false;
    // Through links and a working directory chosen by another path, the same file is the same.
    const QString canonical = QFileInfo(filePath).canonicalFilePath();
    return filePath == playingFile || (!canonical.isEmpty() && canonical == QFileInfo(playingFile).canonicalFilePath());
}

void MainWindow::ReportEntryOutsideArchive()
{
    UserDialogs::Critical(this, QStringLiteral("Error"),
                          QStringLiteral("The entry's file name leads outside the archive folder."));
}

bool MainWindow::Play(QModelIndex index)
{
    QAbstractItemModel *model = entryView->model();
    if (!model || index.model() != model || !index.internalPointer())
        return false;

    const QString filePath = EntryFilePath(index);
    if (filePath.isNull()) {
        // Nothing was handed to the player, so whatever plays keeps its index.
        ReportEntryOutsideArchive();
        return false;
    }
    if (QFileInfo(filePath).isDir())
        return false;

    if (!playerWidget->Play(filePath)) {
        ResetPlayingIndex();
        return false;
    }
    playingIndex = index;
    playingFile = filePath;
    statusBar->showMessage(QStringLiteral("Playing file ") + filePath);
    return true;
}

void MainWindow::PlayOriginal()
{
    const QModelIndex current = entryView->currentIndex();
    const IniMetafileItem *item = IniMetafileModel::ItemOf(current);
    if (!loadedArchive || !item || current.model() != entryModel.get())
        return;
    const QString original = loadedArchive->OriginalFilePath(item->GetName());
    if (original.isNull() || !QFileInfo(original).isFile()) {
        UserDialogs::Information(this, QStringLiteral("Note"),
                                 QStringLiteral("This entry has not been changed: its file is the original."));
        return;
    }
    if (!playerWidget->Play(original)) {
        ResetPlayingIndex();
        return;
    }
    // The entry counts as playing: neither a replace nor a revert may move the file meanwhile.
    playingIndex = current;
    playingFile = original;
    statusBar->showMessage(QStringLiteral("Playing original file ") + original);
}

void MainWindow::PlayCurrent()
{
    const QModelIndex current = entryView->currentIndex();
    if (current.isValid())
        Play(current);
}

void MainWindow::PlayNext()
{
    if (!ContentAvailable())
        return;
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid())
        return;
    const QAbstractItemModel *model = entryView->model();

    QModelIndex candidate;
    if (model->rowCount(current) > 0) {
        candidate = model->index(0, 0, current);
    } else {
        const QModelIndex parent = current.parent();
        candidate = model->index(current.row() + 1, current.column(), parent);
        if (!candidate.isValid() && parent.isValid()) {
            const QModelIndex nextBank = model->index(parent.row() + 1, parent.column(), parent.parent());
            if (nextBank.isValid()) {
                candidate = model->index(0, 0, nextBank);
            } else {
                const QModelIndex first = model->index(0, 0);
                candidate = model->rowCount(first) > 0 ? model->index(0, 0, first) : first;
            }
        } else if (!candidate.isValid()) {
            candidate = model->index(0, 0);
        }
    }
    if (Play(candidate))
        entryView->setCurrentIndex(candidate);
}

void MainWindow::PlayPrevious()
{
    if (!ContentAvailable())
        return;
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid())
        return;
    const QAbstractItemModel *model = entryView->model();

    QModelIndex candidate;
    if (model->rowCount(current) > 0) {
        candidate = model->index(model->rowCount(current) - 1, 0, current);
    } else {
        const QModelIndex parent = current.parent();
        if (current.row() != 0) {
            candidate = model->index(current.row() - 1, 0, parent);
        } else if (parent.isValid()) {
            const QModelIndex grandParent = parent.parent();
            const QModelIndex previousBank = parent.row() > 0
                                           ? model->index(parent.row() - 1, 0, grandParent)
                                           : model->index(model->rowCount() - 1, 0);
            candidate = model->index(model->rowCount(previousBank) - 1, 0, previousBank);
        } else {
            candidate = model->index(model->rowCount() - 1, 0);
        }
    }
    if (Play(candidate))
        entryView->setCurrentIndex(candidate);
}

void MainWindow::Break()
{
    playerWidget->Break();
    statusBar->clearMessage();
}

void MainWindow::StopPlaying()
{
    playerWidget->Stop();
    statusBar->clearMessage();
}

void MainWindow::ResetPlayingIndex()
{
    playingIndex = QModelIndex();
    playingFile.clear();
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
    if (!loadedArchive)
        return QString();
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    return loadedArchive->VirtualPath(item ? item->GetName() : QString());
}
