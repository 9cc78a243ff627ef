#pragma once
#include <QAbstractTableModel>

#include <vector>

#include "catalog/DescriptionCatalog.h"

// The hits of a search over the catalog as a table of archive, entry and description. Owns its
// catalog; rows are read from it on demand, so a new search costs one pass and no copies.
class CatalogResultModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CatalogResultModel(QObject *pParent = nullptr);

    // A new catalog finds nothing until the next search.
    void SetCatalog(DescriptionCatalog catalog);
    void Search(const QString &query);

    // The hit at `row`; null when there is none.
    const CatalogEntry *EntryAt(int row) const;
    const CatalogArchive &ArchiveOf(const CatalogEntry &entry) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    DescriptionCatalog catalog;
    QString lastQuery;
    std::vector<int> hits;
};
