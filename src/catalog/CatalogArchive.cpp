#include "catalog/CatalogArchive.h"

#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

QString CatalogArchive::TreeName() const
{
    return treeNames.join(QStringLiteral(" > "));
}

QList<CatalogArchive> CatalogArchivesOf(const TreeModel &tree)
{
    QList<CatalogArchive> archives;
    const QModelIndexList leaves = tree.ArchiveIndexes();
    for (const QModelIndex &leaf : leaves) {
        const auto *item = static_cast<const TreeItem *>(leaf.internalPointer());
        if (!item || (!item->IsSfx() && !item->IsStream()))
            continue;
        CatalogArchive archive;
        archive.treeRow = leaf;
        // The root's own name ("Archiv") starts every key but is no name the tree shows.
        for (const TreeItem *node = item; node; node = node->Parent()) {
            const QString name = node->Data(0).toString();
            archive.pathPrefix.prepend(name + QLatin1Char('\\'));
            if (node->Parent())
                archive.treeNames.prepend(name);
        }
        // A '/' in a tree name is a separator in the key too, as the loaded archive writes it.
        archive.pathPrefix.replace(QLatin1Char('/'), QLatin1Char('\\'));
        archives << archive;
    }
    return archives;
}
