#pragma once
#include <QList>
#include <QString>

// The README of a mod folder, which lists what the folder changes, and where writing into the
// folder lands. Plain functions; ModExport reads and writes the files.
namespace ModFolder
{
// The first of `paths` (absolute, clean) that lands outside `folder` when written: every link on
// its way followed, also one whose target does not exist yet, since writing creates it. Null when
// each lands inside.
QString FirstLeavingFolder(const QString &folder, const QStringList &paths);

// Whether a README text is one MergeReadme wrote: any other is the user's and must stay.
bool IsOwnReadme(const QString &text);

// The entry names the README lists for an archive: what an earlier export of it wrote.
QStringList ReadmeEntries(const QString &readme, const QString &archiveName);

// The README text with the block of `archiveName` (a title line, then `entries`) put in place of
// the one it held; other archives' blocks stay, so one folder can carry several archives.
QString MergeReadme(const QString &existing, const QString &archiveName, const QStringList &entries);
}
