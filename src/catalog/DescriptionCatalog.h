#pragma once
#include <QList>
#include <QString>

#include <vector>

#include "catalog/CatalogArchive.h"

class XmlMetaData;

// One described entry of an archive of the tree.
struct CatalogEntry
{
    int archive = -1;       // position in the catalog's archive list
    QString entryName;      // as unpacking writes it: "Bank_001/sound_002.wav", "Track_003.ogg"
    QString description;    // its lines joined with " · "
    QString virtualPath;    // the key the description was found under
};

// Every described entry of every archive of the tree, in tree order, and the search over them.
// Owns its copy of the archives and entries; build it anew when the descriptions change.
class DescriptionCatalog
{
public:
    DescriptionCatalog() = default;
    // Descriptions whose key names no archive of `archives`, or only an archive itself, are left out.
    DescriptionCatalog(const QList<CatalogArchive> &archives, const XmlMetaData &descriptions);

    const QList<CatalogArchive> &Archives() const { return archives; }
    // Sorted by archive in tree order, then bank and sound number (or track number); entries whose
    // name is not numbered that way come after the numbered ones of their archive, by name.
    const std::vector<CatalogEntry> &Entries() const { return entries; }

    // The positions in Entries(), in that order, of the entries in which every word of `query`
    // (split at white space) occurs in the archive's tree names, the entry's name or its
    // description, compared by Qt's case folding. An empty query finds nothing. With `pWithin`
    // (positions in ascending order) only those entries are looked at.
    std::vector<int> Search(const QString &query, const std::vector<int> *pWithin = nullptr) const;

private:
    QList<CatalogArchive> archives;
    std::vector<CatalogEntry> entries;
    // Per entry, its searchable texts folded once, so a search pass compares plain characters.
    std::vector<QString> foldedTexts;
};
