#pragma once
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <vector>

#include "format/BankSlotFile.h"

class LoadedArchive;

// What saving an unpacked SFX archive would do to the game's sound buffer: the sizes of its sounds
// in the game's archive today against those of the files in its folder, put through the rule by
// which the save grows BankSlot.dat. Only reads.
class SoundBufferGrowth
{
public:
    // The archive's metafile in the working directory, its archive and lookup file in the game
    // folder. Throws a QString saying what cannot be read, or that there is no BankSlot.dat to grow.
    SoundBufferGrowth(const QString &metafilePath, const QString &archivePath, const QString &lookupPath);
    // The same for the loaded archive; throws a QString as well when it has no place in a game folder.
    static SoundBufferGrowth Of(const LoadedArchive &archive);

    // The lengths in seconds of the loaded archive's sounds, by entry name, in the game's original
    // archive kept under "RozivOze originals"; empty when none is kept or it cannot be read.
    static QHash<QString, double> KeptOriginalLengths(const LoadedArchive &archive);

    // The rule for a replacement worth a question: longer than the sound it replaces by more than
    // a second and by more than half.
    static bool IsMuchLonger(double seconds, double originalSeconds);

    // A replacement about to be made: the entry's name, its file, the file chosen for it and the
    // rate the metafile gives it (0: none).
    struct Planned
    {
        QString entryName;
        QString target;
        QString chosen;
        int metafileRate = 0;
    };
    // The question to ask before `planned` go in, when new sounds among them are much longer than
    // their originals; empty when none is. `originalSeconds` gets those originals' lengths by target.
    static QString LongSoundsQuestion(const LoadedArchive &archive, const QList<Planned> &planned,
                                      QHash<QString, double> &originalSeconds);
    // The question to ask before a save that would more than double the buffer; empty when there
    // is none to ask (or the buffer cannot be read: the save refuses that in its own words).
    static QString SaveQuestion(const LoadedArchive &archive);

    quint64 Today() const { return bankSlots.BufferSize(); }
    // The buffer of the game's original BankSlot.dat where it is kept, else today's.
    quint64 Original() const { return original; }
    bool IsOriginalKept() const { return originalKept; }

    // Counts the entry (named as in the metafile) as holding `bytes` of sound, as a replacement
    // not yet in place will.
    void SetSoundBytes(const QString &entryName, quint64 bytes);
    // The buffer after a save. Throws a QString when the save would refuse to grow it.
    quint64 AfterSave() const;
    // The sounds that grow the buffer, each by what it alone grows it: the largest first, at most
    // `count`. Throws as AfterSave does.
    QList<QPair<QString, quint64>> LargestGrowths(int count) const;

private:
    struct Sound
    {
        QString name;
        quint32 before = 0;  // in the game's archive
        quint64 after = 0;   // as a save would pack the folder's file
        quint16 rate = 0;    // the sample rate in the game's archive, never 0
    };
    struct Bank
    {
        quint32 before = 0;
        QList<Sound> sounds;
    };

    // The banks of the archive as the lookup file places them, their sounds named by the metafile;
    // with bPacked, each sound's `after` is what a save packs of its file. Throws FormatError.
    static QList<Bank> ReadBanks(const QString &metafilePath, const QString &archivePath, const QString &lookupPath,
                                 bool bPacked);
    // How far these growths would grow the slots; throws a QString beyond what the game can address.
    quint64 GrownBy(const std::vector<kivo::Growth> &growths) const;

    kivo::BankSlotFile bankSlots;
    quint64 original = 0;
    bool originalKept = false;
    QList<Bank> banks;
};
