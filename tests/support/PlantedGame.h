#pragma once
#include <QDir>

#include <functional>

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "app/archive/KeptOriginals.h"

// Copies of the demo game with a fault or a change planted in them, for the checks of the game's audio.

// Changes the copy of the game's audio folder given; false when it could not.
using Plant = std::function<bool(const QString &audio)>;
Q_DECLARE_METATYPE(Plant)

namespace PlantedGame
{
using Samples = QVector<qint16>;
using SoundChange = std::function<Samples(const Samples &)>;
inline const SoundChange twiceAsLong = [](const Samples &samples) { return samples + samples; };

// A fresh copy of the game folder from at to, with plant applied to its audio folder; false when either failed.
inline bool Copy(const QString &from, const QString &to, const Plant &plant)
{
    return GameAudioFiles::Run("cp", {"-R", from, to}).exitCode == 0 && plant(to + "/audio");
}

// Unpacks GENRL, changes its first sound and packs it with the tool into output (relative to the
// audio folder), which rewrites the lookup file for it.
inline bool PackChangedSound(const QString &audio, const QString &output, const SoundChange &change = twiceAsLong)
{
    using namespace GameAudioFiles;
    const QString archive = audio + "/SFX/GENRL", lookup = audio + "/CONFIG/BankLkup.dat", work = audio + "/../work";
    const QString wav = work + "/GENRL/Bank_001/sound_001.wav";
    const Wav sound = Run(KIVO_SFX_PATH, {"-e", archive, work, lookup}).exitCode == 0 ? ReadWav(wav) : Wav();
    return sound.ok && WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, sound.rate, change(sound.samples))
        && Run(KIVO_SFX_PATH, {"-i", audio + "/" + output, work + "/GENRL/sfx_import.ini", lookup}).exitCode == 0
        && QDir(work).removeRecursively();
}

// What the program's first save keeps, then a save by the tool that changes a sound, growing
// BankSlot.dat where the sound grew.
inline bool SavedWithKeptOriginals(const QString &audio, const SoundChange &change = twiceAsLong)
{
    const KeptOriginals originals(IniMetafileModel::SFX, audio + "/SFX/GENRL", audio + "/CONFIG/BankLkup.dat");
    try {
        originals.Keep();
        originals.KeepArchiveBeforeSwap();
    } catch (const QString &) {
        return false;
    }
    return PackChangedSound(audio, "SFX/GENRL", change);
}

// A grown sound saved, with BankSlot.dat left as kept: what a tool that does not grow the slots leaves.
inline bool SlotsNotGrown(const QString &audio)
{
    return SavedWithKeptOriginals(audio) && QFile::remove(audio + "/CONFIG/BankSlot.dat")
        && QFile::copy(audio + "/RozivOze originals/CONFIG/BankSlot.dat", audio + "/CONFIG/BankSlot.dat");
}
}
