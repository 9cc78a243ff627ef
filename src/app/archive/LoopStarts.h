#pragma once
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// The loop starts of an unpacked SFX package's sounds, which its metafile keeps as
// "sound_NNN.loop_offset" in each bank's section, in sample frames, and the packer writes into the
// bank headers. Reads and writes that one key and leaves every other byte of the file alone.
class LoopStarts
{
public:
    static constexpr qint64 none = -1;  // the sound does not loop

    explicit LoopStarts(const QString &metafilePath);

    // The loop start of sound `sound` of bank `bank` (both counted from 1): none where the key is
    // absent, as the packer takes it. Empty when the file cannot be read or the value is no number.
    std::optional<qint64> Get(int bank, int sound) const;

    // Every sound's loop start that the file gives, by the sound's file name as unpacking writes it
    // ("Bank_001/sound_002.wav"); a sound without one does not loop. Empty when the file cannot
    // be read.
    std::optional<QHash<QString, qint64>> ByEntry() const;

    // Sets the sound's loop start (none: it does not loop). The key's line gets the new value, or
    // a new line follows the sound's last key. Written beside the file and renamed over it, so a
    // failure leaves the file as it was. Returns why it could not, or a null string. The first
    // change keeps the file as it was in a folder beside it (see OriginalPath), so the originals
    // stay known.
    QString Set(int bank, int sound, qint64 frame) const;

    // The metafile as unpacking wrote it, kept by the first Set; removing it forgets the originals.
    QString OriginalPath() const;
    // The loop start the sound had before this program changed it.
    std::optional<qint64> Original(int bank, int sound) const;

    struct Change
    {
        int bank = 0;
        int sound = 0;
        qint64 original = none;
        qint64 current = none;
    };
    // The sounds whose loop start differs from the original's, by bank and sound.
    QList<Change> Changed() const;

    struct Fitted
    {
        qint64 frame = none;
        bool bChanged = false;  // true when the loop start had to move
    };
    // The loop start to keep for a sound that is `frames` long now: one at or beyond its end moves
    // to 0, so that the sound still loops; an empty sound cannot loop.
    static Fitted Fit(qint64 frames, qint64 loopStart);

private:
    const QString path;
};
