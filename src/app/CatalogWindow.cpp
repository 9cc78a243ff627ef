#include "app/CatalogWindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "app/archive/GameArchive.h"
#include "app/archive/OpenedArchive.h"
#include "catalog/CatalogResultModel.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"

CatalogWindow::CatalogWindow(std::function<DescriptionCatalog()> catalogSource, std::function<QString()> gameFolder,
                             QTreeView *pEntryView, FModPlayerWidget *pPlayer, const OpenedArchive &opened,
                             QWidget *pParent)
    : QWidget(pParent, Qt::Window)
    , catalogSource(std::move(catalogSource))
    , gameFolder(std::move(gameFolder))
    , entryView(pEntryView)
    , player(pPlayer)
    , opened(opened)
{
    setWindowTitle(QStringLiteral("Find in all archives"));
    resize(720, 420);
    CreateWidgets();
    // The copy is the player's no longer once anything else plays or playing stops.
    connect(player, &FModPlayerWidget::PlayingStopped, this, [this] { preview.Forget(); });
    connect(player, &FModPlayerWidget::PlayingStarted, this, [this](const QString &file) {
        if (file != preview.FilePath())
            preview.Forget();
    });
}

CatalogWindow::~CatalogWindow() = default;

void CatalogWindow::CreateWidgets()
{
    queryField = new QLineEdit(this);
    queryField->setObjectName(QStringLiteral("catalogQuery"));
    queryField->setPlaceholderText(QStringLiteral("Words of the archive, the entry or its description"));
    results = new CatalogResultModel(this);
    resultView = new QTableView(this);
    resultView->setObjectName(QStringLiteral("catalogResults"));
    resultView->setModel(results);
    resultView->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultView->setSelectionMode(QAbstractItemView::SingleSelection);
    resultView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultView->verticalHeader()->hide();
    resultView->horizontalHeader()->setStretchLastSection(true);
    resultView->setColumnWidth(0, 140);
    resultView->setColumnWidth(1, 180);
    resultView->installEventFilter(this);
    queryField->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(queryField);
    layout->addWidget(resultView);
    layout->addWidget(new QLabel(QStringLiteral("Return opens the entry's archive, Space plays the entry."), this));

    connect(queryField, &QLineEdit::textChanged, this, [this](const QString &query) {
        results->Search(query);
        if (results->rowCount() > 0)
            resultView->setCurrentIndex(results->index(0, 0));
    });
    connect(resultView, &QTableView::doubleClicked, this, &CatalogWindow::OpenHit);
}

void CatalogWindow::ShowCatalog()
{
    show();
    raise();
    activateWindow();
    Refresh();
    queryField->setFocus();
    queryField->selectAll();
}

void CatalogWindow::Refresh()
{
    if (isHidden())
        return;
    const int row = resultView->currentIndex().row();
    results->SetCatalog(catalogSource());
    results->Search(queryField->text());
    if (results->rowCount() > 0)
        resultView->setCurrentIndex(results->index(std::clamp(row, 0, results->rowCount() - 1), 0));
}

bool CatalogWindow::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pEvent->type() != QEvent::KeyPress)
        return QWidget::eventFilter(pWatched, pEvent);
    const int key = static_cast<QKeyEvent *>(pEvent)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        OpenHit(resultView->currentIndex());
        return true;
    }
    // In the query field a space is part of the query; only the table plays with it.
    if (key == Qt::Key_Space && pWatched == resultView) {
        PlayHit(resultView->currentIndex());
        return true;
    }
    // Up and down in the query field walk the hits, so the hands can stay on the keys.
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && pWatched == queryField) {
        resultView->setFocus();
        return false;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

QModelIndex CatalogWindow::OpenEntry(const QModelIndex &treeRow, const QString &entryName) const
{
    const IniMetafileModel *model = opened.Model();
    if (!model || !opened.Archive() || opened.Archive()->TreeRow() != treeRow || entryView->model() != model)
        return QModelIndex();
    // Banks, then their sounds; tracks lie at the top.
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex top = model->index(row, 0);
        if (IniMetafileModel::ItemOf(top)->GetName() == entryName)
            return top;
        for (int child = 0; child < model->rowCount(top); ++child) {
            const QModelIndex entry = model->index(child, 0, top);
            if (IniMetafileModel::ItemOf(entry)->GetName() == entryName)
                return entry;
        }
    }
    return QModelIndex();
}

void CatalogWindow::OpenHit(const QModelIndex &hit)
{
    const CatalogEntry *entry = results->EntryAt(hit.row());
    if (!entry)
        return;
    const QModelIndex treeRow = results->ArchiveOf(*entry).treeRow;
    if (!treeRow.isValid())
        return;
    QModelIndex found = OpenEntry(treeRow, entry->entryName);
    if (!found.isValid()) {
        emit ArchiveRequested(treeRow);
        found = OpenEntry(treeRow, entry->entryName);
    }
    if (!found.isValid())
        return;
    entryView->setCurrentIndex(found);
    if (found.parent().isValid())
        entryView->expand(found.parent());
    entryView->scrollTo(found);
}

void CatalogWindow::PlayHit(const QModelIndex &hit)
{
    const CatalogEntry *entry = results->EntryAt(hit.row());
    if (!entry)
        return;
    const QModelIndex found = OpenEntry(results->ArchiveOf(*entry).treeRow, entry->entryName);
    if (found.isValid())
        emit EntryPlayRequested(found);
    else
        PlayCopy(*entry);
}

void CatalogWindow::PlayCopy(const CatalogEntry &entry)
{
    const CatalogArchive &archive = results->ArchiveOf(entry);
    if (!archive.treeRow.isValid())
        return;
    // The copy that plays now must not be removed under the player before the new one is made.
    player->Stop();
    QString file;
    try {
        file = preview.Extract(GameArchive(archive.treeRow, gameFolder()), entry.entryName);
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return;
    }
    if (!player->Play(file)) {
        preview.Forget();
        return;
    }
    emit StatusMessage(QStringLiteral("Playing file ") + archive.TreeName() + QStringLiteral(" > ") + entry.entryName);
}
