#include "catalog/ArchivePrefixIndex.h"

#include "catalog/CatalogArchive.h"

ArchivePrefixIndex::ArchivePrefixIndex(const QList<CatalogArchive> &archives)
{
    // Two archives with the same key (the same names in the same group) share their descriptions;
    // the first the tree shows takes them, as a search hit opens the first one too.
    for (int position = archives.size() - 1; position >= 0; --position)
        archiveByPrefix.insert(archives.at(position).pathPrefix, position);
}

int ArchivePrefixIndex::ArchiveOf(const QString &virtualPath, QString *pEntryName) const
{
    // The separator before the entry's name comes last, so the longest prefix is tried first.
    for (qsizetype separator = virtualPath.lastIndexOf(QLatin1Char('\\')); separator >= 0;
         separator = separator > 0 ? virtualPath.lastIndexOf(QLatin1Char('\\'), separator - 1) : -1) {
        if (separator + 1 == virtualPath.size())
            continue;
        const auto found = archiveByPrefix.constFind(virtualPath.left(separator + 1));
        if (found == archiveByPrefix.constEnd())
            continue;
        if (pEntryName)
            *pEntryName = virtualPath.mid(separator + 1).replace(QLatin1Char('\\'), QLatin1Char('/'));
        return found.value();
    }
    return -1;
}
