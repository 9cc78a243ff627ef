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
    // Never from the last character: a separator there would leave no entry's name after it.
    for (qsizetype end = virtualPath.size() - 2; end >= 0;) {
        const qsizetype separator = virtualPath.lastIndexOf(QLatin1Char('\\'), end);
        if (separator < 0)
            break;
        end = separator - 1;
        const auto found = archiveByPrefix.constFind(virtualPath.left(separator + 1));
        if (found == archiveByPrefix.constEnd())
            continue;
        if (pEntryName)
            *pEntryName = virtualPath.mid(separator + 1).replace(QLatin1Char('\\'), QLatin1Char('/'));
        return found.value();
    }
    return -1;
}
