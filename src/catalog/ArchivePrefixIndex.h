#pragma once
#include <QHash>
#include <QList>
#include <QString>

struct CatalogArchive;

// Finds the archive a virtual path belongs to by its prefix; owns a lookup of the archives' prefixes.
class ArchivePrefixIndex
{
public:
    explicit ArchivePrefixIndex(const QList<CatalogArchive> &archives);

    // The position in the archive list of the archive whose prefix starts `virtualPath` with an
    // entry's name after it (the longest such prefix), or -1. `pEntryName` gets that name as
    // unpacking writes it, '/' between folder and file ("Bank_001/sound_002.wav").
    int ArchiveOf(const QString &virtualPath, QString *pEntryName = nullptr) const;

private:
    QHash<QString, int> archiveByPrefix;
};
