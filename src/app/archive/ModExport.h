#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include "app/archive/LoadedArchive.h"

class OperationFeedback;
class XmlMetaData;

// Writes what changed in the loaded archive into a mod folder that runtime loaders read, never
// into the game folder: the changed sounds as Bank_NNN/sound_NNN.wav with a BankSlot.dat grown for
// the longer ones, or the stream archive packed whole beside a lookup file of its own; and a
// README.txt that lists what the folder changes.
class ModExport
{
public:
    // A sound or track of the archive, as the metafile lists it.
    struct Entry
    {
        QString name;
        QString bank;             // the bank that holds the sound; empty for a track
        int number = 0;           // the sound's place in its bank, from 1
        int sampleRate = 0;       // the metafile's; 0 when it gives none
        bool bChanged = false;
        QString description;      // the entry's description; empty when there is none
    };

    enum class Outcome
    {
        Exported,
        Overlaps,                 // the folder is in the game folder, or the archive would land on its unpacked files
        ForeignReadme,            // the folder holds a README.txt that no export wrote
        LeavesFolder,             // through a link, the write to `path` would land outside the folder
        Stopped,                  // a conversion was aborted, or the packing tool failed and has said why
        Failed,                   // `message` says why
    };

    // What an export did. Nothing is written into the folder unless the outcome is Exported,
    // Stopped or Failed; the facts below hold for all three.
    struct Result
    {
        Outcome outcome = Outcome::Exported;
        QString path;
        QString message;
        // The mod's BankSlot.dat was written: the sound buffer it gives and the one it was grown from.
        bool bSlotTableWritten = false;
        quint64 bufferSize = 0;
        quint64 bufferSizeBefore = 0;
        QString missingSlotTable; // where BankSlot.dat was looked for in vain, for sounds that grew
        QString toolWarnings;     // what the packing tool warned of
        int loopStartsChanged = 0; // sounds whose loop start README.txt lists as changed
    };

    // `archive` with its game folder set; `archivePath` and `lookupPath` its game files as spelt on
    // disk; `entries` every sound or track, in the metafile's order.
    ModExport(const LoadedArchive &archive, const QString &archivePath, const QString &lookupPath, const QList<Entry> &entries);

    Result Export(const QString &folder, OperationFeedback &feedback) const;
    // README.txt's lines for the sounds whose loop start differs from the original's:
    // "<entry>: loop start <old> -> <new>".
    QStringList LoopStartLines() const;
    // Tells the user what an export did, in the order it happened, but for its success.
    static void Tell(const Result &result, OperationFeedback &feedback);

    // Every entry of `model`, the list of `archive`, with the descriptions of the changed ones.
    static QList<Entry> EntriesOf(const IniMetafileModel &model, const LoadedArchive &archive, const XmlMetaData &metaData);

private:
    QString SoundPath(const QString &folder, const Entry &entry) const;
    QString LookupPath(const QString &folder) const;
    // The files and folders of the mod folder that the export may write or remove, but its README.
    QStringList Paths(const QString &folder) const;
    // Exporting each kind: false when stopped. They throw the message to show.
    bool ExportSounds(const QString &folder, OperationFeedback &feedback, Result &result) const;
    bool ExportStream(const QString &folder, Result &result) const;
    // Removes the sounds that an earlier export wrote (as its README lists) and that are no longer changed.
    void RemoveRevertedSounds(const QStringList &exportedBefore, const QString &folder) const;

    LoadedArchive archive;
    QString archivePath;
    QString lookupPath;
    QString archiveName;
    QList<Entry> entries;
};
