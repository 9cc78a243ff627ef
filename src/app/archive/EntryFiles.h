#pragma once
#include <QSet>
#include <QString>
#include <QStringList>

#include "app/archive/LoadedArchive.h"
#include "audio/AudioConverter.h"

class OperationFeedback;

// The files of the opened archive's entries: putting a new file in place of one, keeping the
// first original of each in ".originals" and putting it back, and which entries are changed.
class EntryFiles
{
public:
    explicit EntryFiles(const LoadedArchive &archive);

    // The file the first replace of an entry moved (or, where it could not, copied) away.
    struct KeptOriginal
    {
        QString path;           // empty when an original was kept before
        bool bMoved = false;
    };
    // Keeps the entry's file `target` in the originals folder unless one is kept already. Throws
    // the message to show when it cannot.
    KeptOriginal KeepOriginal(const QString &entryName, const QString &target) const;

    // Puts `chosen` in place of the entry's file `target`, converted through `feedback` unless it
    // already has the entry's form, and cut after `trimSeconds` unless that is 0. `metafileRate`
    // is the rate the metafile gives the entry (0: none). Whatever stops it, the entry keeps its
    // file and is not marked; the result's message says so when the old file could not come back.
    // With `bMatchLoudness` a converted file gets the loudness of the game's original of the entry.
    AudioConverter::Result Replace(const QString &entryName, const QString &target, const QString &chosen,
                                   int metafileRate, double trimSeconds, OperationFeedback &feedback,
                                   bool bMatchLoudness = false) const;

    struct Reverted
    {
        int count = 0;          // entries whose original is back
        QStringList failed;     // entry files the original could not replace
    };
    // Puts the kept originals of the named entries back; entries without one are left alone.
    Reverted Revert(const QStringList &entryNames) const;

    // Removes the kept originals of the archive unpacked into `archiveFolder`, whose files are all
    // its own again; false when some could not be removed.
    static bool ForgetOriginals(const QString &archiveFolder);

    // The changed entries: those with a kept original.
    QSet<QString> Changed() const;

private:
    const LoadedArchive &archive;
};
