#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

// The files of a mod folder that are worked out rather than copied: the game's sound-buffer
// table grown for longer sounds, and the README that lists what the folder changes. Plain
// functions over bytes and text; the window reads and writes the files.
namespace ModFolder
{
// A bank or sound that grew, in bytes of sound data.
struct Growth
{
    quint32 oldSize = 0;
    quint32 newSize = 0;
};

// BankSlot.dat with every slot that was at least as large as a grown bank or sound was before
// made as large as it is now, and the slot offsets made running sums again. The game loads each bank or
// sound into some slot that held its old size, so this rule gives it room without knowing which.
// No slot shrinks; the bytes come back unchanged when nothing grew. Throws a QString when the
// table is damaged or would address more than 4 GiB.
QByteArray GrowBankSlots(QByteArray table, const QList<Growth> &growths);

// The total of all slot sizes: the memory the game sets aside for them.
quint64 BankSlotTotal(const QByteArray &table);

// Whether a README text is one MergeReadme wrote: any other is the user's and must stay.
bool IsOwnReadme(const QString &text);

// The entry names the README lists for an archive: what an earlier export of it wrote.
QStringList ReadmeEntries(const QString &readme, const QString &archiveName);

// The README text with the block of `archiveName` (a title line, then `entries`) put in place of
// the one it held; other archives' blocks stay, so one folder can carry several archives.
QString MergeReadme(const QString &existing, const QString &archiveName, const QStringList &entries);
}
