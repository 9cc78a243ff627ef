#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "metafile/IniMetafileModel.h"

// Tells, for each entry of an unpacked archive, whether its file is the game's own, changed and
// saved into the game, or not saved, by comparing the files with the toolkit's listings ("-l") of
// the kept original archive and of the game's archive as it is now: same size and same checksum
// is the same entry, and for a sound the same loop start in its metafile. Both listings are kept in a hidden file of the unpacked folder, keyed by each
// archive's path, size and modification time, so an archive that did not change is not listed
// again; the folder's removal takes the file with it.
class EntryStates
{
public:
    enum class State
    {
        GameOwn,       // what the kept original holds (the game's archive where none is kept)
        ChangedSaved,  // differs from the kept original, and the game's archive holds exactly this
        NotSaved       // differs from what the game's archive holds now
    };
    struct Entry
    {
        QString name;            // as unpacking writes it: "Bank_001/sound_002.wav", "Track_003.ogg"
        bool bChanged = false;   // differs from the kept original, saved or not
        bool bNotSaved = false;  // differs from the game's archive now (a reverted entry too)
        qint64 originalLoop = -1; // a sound's loop start in the original; -1: it does not loop
        State Kind() const;
    };
    struct Result
    {
        QList<Entry> entries;        // in the order of the game's archive
        bool bOriginalKept = false;  // false: the game's archive as it is now is the reference
        int ChangedCount() const;
        int NotSavedCount() const;
    };

    // Runs a toolkit program ("kivo_sfx.exe") with arguments and returns its standard output;
    // throws a QString saying why when it cannot be started or does not end with exit code 0.
    using ToolRunner = std::function<QByteArray(const QString &program, const QStringList &arguments)>;
    // The tools as the program runs them: from its current directory, without a window, waiting
    // for them to end (the comparison runs in the background).
    static QByteArray RunToolkit(const QString &program, const QStringList &arguments);

    // The cache file's name inside the unpacked folder.
    static const QString cacheFileName;

    // The archive and the lookup file in the game folder; the kept original is looked for where
    // the save keeps it.
    EntryStates(IniMetafileModel::ArchiveType type, const QString &archivePath, const QString &lookupPath,
                ToolRunner runner = RunToolkit);

    // Compares the files unpacked into archiveFolder. Throws a QString when an archive cannot be
    // listed (the tool's own message); the cache is left as it was then.
    Result Compare(const QString &archiveFolder) const;

    // Whether the game's archive, as it is now, holds other entries than its kept original, told
    // from the listings of both cached in archiveFolder alone (nothing is listed or read whole);
    // none where the cache lacks either.
    std::optional<bool> DiffersInCache(const QString &archiveFolder) const;

    // Whether a kept original of the archive exists; without one the game's archive is the original.
    bool IsOriginalKept() const;
    // Writes one entry ("Bank_001/sound_002.wav", "Track_003.ogg") as unpacking would write it to
    // `outputFile`, out of the kept original when `bKeptOriginal`, else out of the game's archive,
    // without unpacking the rest. Throws a QString saying why it failed; the file then does not
    // appear.
    void Extract(const QString &entry, const QString &outputFile, bool bKeptOriginal) const;

private:
    struct Listing;
    // The listing of archive (with lookup for an SFX package), from the cache when it holds one for
    // the archive as it is now, else from the tool; then put into `used`.
    void AddListing(const QString &archive, const QString &lookup, const QList<Listing> &cached,
                    QList<Listing> &used, bool &bListedNow) const;
    // The listings a cache file holds; none when it is missing or not wholly readable, so that a
    // damaged cache costs one listing more, never a wrong state.
    static QList<Listing> ReadCache(const QString &path);
    // The listing in cached of archive as it is now (its size and modification time); null when
    // there is none.
    static const Listing *CachedListing(const QList<Listing> &cached, const QString &archive);
    static QByteArray CacheText(const QList<Listing> &listings);

    IniMetafileModel::ArchiveType type;
    QString archivePath;
    QString lookupPath;
    ToolRunner runner;
};
