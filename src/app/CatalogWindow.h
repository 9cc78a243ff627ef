#pragma once
#include <QWidget>

#include <functional>

#include "app/archive/EntryPreview.h"
#include "catalog/DescriptionCatalog.h"

class QLineEdit;
class QModelIndex;
class QTableView;
class QTreeView;
class CatalogResultModel;
class FModPlayerWidget;
class OpenedArchive;

// "Find in all archives": a window of its own with a query field and a table of the described
// entries of every archive that match it. Opens a hit's archive through the main window's own
// way (ArchiveRequested) and plays a hit of an archive that is not open from a copy of that one
// entry. Owns its widgets, the result model and the copy being played.
class CatalogWindow : public QWidget
{
    Q_OBJECT
public:
    // `catalogSource` gives the catalog as the descriptions and the tree are now; `gameFolder` the
    // folder the game's archives are read from. The views, the player and `opened` belong to the
    // main window and outlive this.
    CatalogWindow(std::function<DescriptionCatalog()> catalogSource, std::function<QString()> gameFolder,
                  QTreeView *pEntryView, FModPlayerWidget *pPlayer, const OpenedArchive &opened, QWidget *pParent);
    ~CatalogWindow() override;

public slots:
    // Shows and raises the window with a catalog built afresh.
    void ShowCatalog();
    // Builds the catalog again and repeats the search, if the window is shown.
    void Refresh();

signals:
    // The archive at `treeRow` should be opened as a double-click in the archive tree opens it.
    void ArchiveRequested(const QModelIndex &treeRow);
    // An entry of the open archive should be played as the entry list plays it.
    void EntryPlayRequested(const QModelIndex &entry);
    void StatusMessage(const QString &message);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    void CreateWidgets();
    void OpenHit(const QModelIndex &hit);
    void PlayHit(const QModelIndex &hit);
    // The entry of the open archive named `entryName`, when the open archive is the one at `treeRow`.
    QModelIndex OpenEntry(const QModelIndex &treeRow, const QString &entryName) const;
    void PlayCopy(const CatalogEntry &entry);

    std::function<DescriptionCatalog()> catalogSource;
    std::function<QString()> gameFolder;
    QTreeView *entryView = nullptr;
    FModPlayerWidget *player = nullptr;
    const OpenedArchive &opened;
    QLineEdit *queryField = nullptr;         // child of this
    QTableView *resultView = nullptr;        // child of this
    CatalogResultModel *results = nullptr;   // child of this
    EntryPreview preview;
};
