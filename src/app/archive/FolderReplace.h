#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Pairs the files of a folder with the entries of an archive by the names unpacking gives them:
// "Bank_NNN/sound_NNN.<ext>" for sounds, "Track_NNN.<ext>" for tracks. No dialogs shown; only
// ListFiles and SameFile look at the disk.
namespace FolderReplace
{
// An entry by its numbers, both counted from 1 as in the file names; bank 0 for a track.
struct EntryKey
{
    int bank = 0;
    int number = 0;
    bool IsValid() const { return number > 0; }
    friend bool operator==(const EntryKey &first, const EntryKey &second)
    {
        return first.bank == second.bank && first.number == second.number;
    }
    friend bool operator<(const EntryKey &first, const EntryKey &second)
    {
        return first.bank != second.bank ? first.bank < second.bank : first.number < second.number;
    }
};

struct Match
{
    QString file;   // as given, relative to the chosen folder
    EntryKey entry;
};

struct Mismatch
{
    QString file;
    QString reason;
};

struct Plan
{
    QList<Match> matches;       // in entry order
    QList<Mismatch> unmatched;  // in the order given; files that share an entry last
};

// The bank a folder or section name like "Bank_001" names, in any case; 0 when it names none.
int BankNumber(const QString &name);

// The entry a path relative to the chosen folder names; invalid when it names none. Case does not
// count, zero padding is optional and the extension may be any. A sound's bank folder lies at the
// top of the chosen folder or in a folder named like one of `archiveNames`, at any depth (the
// layout mod loaders read); the same holds for a track's file.
EntryKey KeyOf(const QString &relativePath, bool bTracks, const QStringList &archiveNames);

// Every file either matches the entry it names, when `exists` knows that entry and no other file
// names it too, or is listed as unmatched with the reason.
// A mod folder holds a few hundred files; walking a whole home folder would freeze the window
// and bury the few matches among thousands of others.
constexpr int mostFilesInFolder = 10000;

// The files under `folder`, relative to it and sorted, and their paths in the same order; hidden
// ones and linked folders are left out. False when there are more than mostFilesInFolder.
bool ListFiles(const QString &folder, QStringList &relativePaths, QStringList &paths);

// What of a dropped file's path can name an entry: its bank folder and name for a sound, its name
// for a track. The folders above do not count: the file was dropped on this archive.
QString DroppedName(const QString &path, bool bTracks);

// Whether both paths name one existing file, through links too.
bool SameFile(const QString &first, const QString &second);

Plan MatchFiles(const QStringList &relativePaths, bool bTracks, const QStringList &archiveNames,
                const std::function<bool(const EntryKey &)> &exists);
}
