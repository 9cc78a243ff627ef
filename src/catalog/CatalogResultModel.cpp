#include "catalog/CatalogResultModel.h"

#include <utility>

CatalogResultModel::CatalogResultModel(QObject *pParent)
    : QAbstractTableModel(pParent)
{
}

void CatalogResultModel::SetCatalog(DescriptionCatalog newCatalog)
{
    beginResetModel();
    catalog = std::move(newCatalog);
    lastQuery.clear();
    hits.clear();
    endResetModel();
}

void CatalogResultModel::Search(const QString &query)
{
    const QString simplified = query.simplified();
    if (simplified == lastQuery)
        return;
    // Typing on at the end only lengthens words or adds them, so the hits can only get fewer:
    // the pass then looks at the last hits alone, which keeps every key after the first quick.
    const bool bNarrower = !lastQuery.isEmpty() && simplified.startsWith(lastQuery);
    beginResetModel();
    hits = catalog.Search(simplified, bNarrower ? &hits : nullptr);
    lastQuery = simplified;
    endResetModel();
}

const CatalogEntry *CatalogResultModel::EntryAt(int row) const
{
    return row >= 0 && size_t(row) < hits.size() ? &catalog.Entries().at(size_t(hits[size_t(row)])) : nullptr;
}

const CatalogArchive &CatalogResultModel::ArchiveOf(const CatalogEntry &entry) const
{
    return catalog.Archives().at(entry.archive);
}

int CatalogResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(hits.size());
}

int CatalogResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant CatalogResultModel::data(const QModelIndex &index, int role) const
{
    const CatalogEntry *entry = index.isValid() ? EntryAt(index.row()) : nullptr;
    if (!entry || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    switch (index.column()) {
    case 0:
        return ArchiveOf(*entry).TreeName();
    case 1:
        return entry->entryName;
    default:
        return entry->description;
    }
}

QVariant CatalogResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char *const titles[] = {"Archive", "Entry", "Description"};
    return section >= 0 && section < 3 ? QString::fromLatin1(titles[section]) : QVariant();
}
