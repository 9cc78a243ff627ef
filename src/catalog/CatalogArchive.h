#pragma once
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

class TreeModel;

// An archive of the tree as the catalog sees it: the names the tree shows down to it and the start
// every virtual path of its entries shares.
struct CatalogArchive
{
    QStringList treeNames;  // below the tree's header down to the archive: {"SFX", "GENRL"}
    QString pathPrefix;     // the virtual path without the entry's name, ending in '\'
    QPersistentModelIndex treeRow;  // the archive's row in the tree it was read from

    QString TreeName() const;  // "SFX > GENRL"
};

// Every archive (a leaf of type SFX or STREAM) of the tree, in the order the tree shows them. The
// prefixes are built exactly as the metadata list builds the key of an entry of a loaded archive.
QList<CatalogArchive> CatalogArchivesOf(const TreeModel &tree);
