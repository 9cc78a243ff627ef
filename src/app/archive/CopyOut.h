#pragma once
#include <QList>
#include <QString>

class OperationFeedback;

// Copies entries' files of the opened archive out into a folder of the user's, and puts one file
// in place of another so that the file that was there survives a failed copy.
class CopyOut
{
public:
    enum class CopyResult
    {
        Copied,
        OldNotMoved,    // the file at the target could not be moved aside; nothing changed
        CopyFailed,     // the copy failed; the old file, if any, is back in its place
        OldNotRemoved   // the copy is in place, but the old file stays at `backup`
    };
    // Puts a copy of `source` at `target`. A file already at the target is moved aside first and
    // put back when the copy fails, so a failed copy never costs the file that was there.
    static CopyResult CopyOver(const QString &source, const QString &target, QString &backup);

    struct Entry
    {
        QString name;           // the entry's name in the archive
        QString file;           // its file; null when the name leads outside the archive folder
        bool bBank = false;     // a bank, which holds sounds rather than being one
    };
    enum class Outcome
    {
        Copied,
        OutsideArchive,
        NotAFile,
        SameFile,               // the target is the entry's own file: left as it is
        CopyFailed,             // the file at the target, if any, is as it was
        OldNotReplaced          // the file at the target could not be moved aside or removed: stops
    };
    // Copies each entry's file into `folder` under its file name or, where sounds of several banks
    // share a file name, under its name (bank folder and file), as unpacking lays them out. One
    // outcome per entry, in order, up to and including an OldNotReplaced, after which nothing more
    // is copied.
    static QList<Outcome> Copy(const QList<Entry> &entries, const QString &folder);
    // Tells the user, in order, of every entry that was not copied and why.
    static void Tell(const QList<Outcome> &outcomes, OperationFeedback &feedback);
};
