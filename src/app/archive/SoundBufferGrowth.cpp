#include "app/archive/SoundBufferGrowth.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <string>

#include "app/archive/KeptOriginals.h"
#include "app/LoadedArchive.h"
#include "format/BankHeader.h"
#include "format/FormatError.h"
#include "format/Metafile.h"
#include "format/SfxPackage.h"
#include "format/Naming.h"
#include "format/PcmSource.h"
#include "game/PathCase.h"

namespace
{
// The bytes the save packs of a sound file: a plain WAV says so at once, anything else is read
// through, as the save converts it.
quint64 PackedBytes(const QString &path, const std::string &label)
{
    kivo::PcmSource source(ToolkitPath(ResolvePathCase(path)), label);
    if (source.IsPlainWav())
        return source.PlainBytes();
    std::vector<unsigned char> buffer(64 * 1024);
    quint64 bytes = 0;
    for (std::size_t got; (got = source.Read(buffer.data(), buffer.size())) != 0;)
        bytes += got;
    return bytes;
}

void NoteGrowth(std::vector<kivo::Growth> &growths, quint32 before, quint64 after)
{
    if (after > before)
        growths.push_back({before, quint32(std::min<quint64>(after, std::numeric_limits<quint32>::max()))});
}

QString ToText(const kivo::FormatError &error)
{
    return QString::fromLocal8Bit(error.what());
}
}

SoundBufferGrowth::SoundBufferGrowth(const QString &metafilePath, const QString &archivePath, const QString &lookupPath)
{
    const QString config = QFileInfo(lookupPath).absolutePath();
    const QString slotsPath = ResolvePathCase(config + QStringLiteral("/BankSlot.dat"));
    if (!QFileInfo(slotsPath).isFile())
        throw QStringLiteral("There is no BankSlot.dat in ") + config + QStringLiteral(" to grow.");
    try {
        bankSlots = kivo::BankSlotFile::Load(ToolkitPath(slotsPath));
        const QString kept = KeptOriginals(IniMetafileModel::SFX, archivePath, lookupPath).KeptPath(slotsPath);
        originalKept = QFileInfo(kept).isFile();
        original = originalKept ? kivo::BankSlotFile::Load(ToolkitPath(kept)).BufferSize() : Today();

        banks = ReadBanks(metafilePath, archivePath, lookupPath, true);
    } catch (const kivo::FormatError &error) {
        throw ToText(error);
    }
}

QList<SoundBufferGrowth::Bank> SoundBufferGrowth::ReadBanks(const QString &metafilePath, const QString &archivePath,
                                                            const QString &lookupPath, bool bPacked)
{
    const kivo::Metafile metafile = kivo::Metafile::Load(ToolkitPath(metafilePath));
    const QDir folder = QFileInfo(metafilePath).absoluteDir();
    const std::vector<kivo::BankHeader> headers = kivo::SfxPackage::ReadBanks(ToolkitPath(archivePath), ToolkitPath(lookupPath));
    QList<Bank> read;
    for (std::size_t b = 0; b < headers.size(); ++b) {
        const std::string section = "Bank_" + kivo::PaddedNumber(b + 1);
        const kivo::BankHeader &header = headers[b];
        Bank bank {header.pcmSize, {}};
        for (std::size_t s = 0; s < header.sounds.size(); ++s) {
            const std::string &label = metafile.Text(section, "sound_" + kivo::PaddedNumber(s + 1) + ".filename");
            const QString name = QString::fromStdString(label);
            bank.sounds.append({name, header.SoundBytes(s), bPacked ? PackedBytes(folder.filePath(name), label) : 0,
                                header.sounds[s].sampleRate});
        }
        read.append(bank);
    }
    return read;
}

QHash<QString, double> SoundBufferGrowth::KeptOriginalLengths(const LoadedArchive &archive)
{
    QHash<QString, double> lengths;
    try {
        if (archive.ArchivePath().isNull() || !archive.HasGameFolder())
            return lengths;
        const KeptOriginals kept(IniMetafileModel::SFX, ResolvePathCase(archive.ArchivePath()),
                                 ResolvePathCase(archive.LookupFilePath()));
        if (!kept.CanRestore())
            return lengths;
        for (const Bank &bank : ReadBanks(archive.MetafilePath(), kept.ArchivePath(), kept.LookupFilePath(), false))
            for (const Sound &sound : bank.sounds)
                lengths.insert(sound.name, double(sound.before) / 2.0 / sound.rate);
    } catch (const kivo::FormatError &) {
        return {};
    } catch (const QString &) {
        return {};
    }
    return lengths;
}

SoundBufferGrowth SoundBufferGrowth::Of(const LoadedArchive &archive)
{
    if (archive.ArchivePath().isNull() || !archive.HasGameFolder())
        throw QStringLiteral("The archive has no place in a game folder.");
    return SoundBufferGrowth(archive.MetafilePath(), ResolvePathCase(archive.ArchivePath()),
                             ResolvePathCase(archive.LookupFilePath()));
}

bool SoundBufferGrowth::IsMuchLonger(double seconds, double originalSeconds)
{
    return seconds > originalSeconds + 1.0 && seconds > originalSeconds * 1.5;
}

void SoundBufferGrowth::SetSoundBytes(const QString &entryName, quint64 bytes)
{
    for (Bank &bank : banks)
        for (Sound &sound : bank.sounds)
            if (sound.name == entryName)
                sound.after = bytes;
}

quint64 SoundBufferGrowth::AfterSave() const
{
    std::vector<kivo::Growth> growths;
    for (const Bank &bank : banks) {
        quint64 after = 0;
        for (const Sound &sound : bank.sounds) {
            after += sound.after;
            NoteGrowth(growths, sound.before, sound.after);
        }
        NoteGrowth(growths, bank.before, after);
    }
    return Today() + GrownBy(growths);
}

QList<QPair<QString, quint64>> SoundBufferGrowth::LargestGrowths(int count) const
{
    QList<QPair<QString, quint64>> growths;
    for (const Bank &bank : banks) {
        for (const Sound &sound : bank.sounds) {
            if (sound.after <= sound.before)
                continue;
            // Alone, the sound grows its bank by as much as it grows itself.
            std::vector<kivo::Growth> alone;
            NoteGrowth(alone, sound.before, sound.after);
            NoteGrowth(alone, bank.before, bank.before + (sound.after - sound.before));
            const quint64 grown = GrownBy(alone);
            if (grown > 0)
                growths.append({sound.name, grown});
        }
    }
    std::stable_sort(growths.begin(), growths.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    return growths.mid(0, count);
}

quint64 SoundBufferGrowth::GrownBy(const std::vector<kivo::Growth> &growths) const
{
    kivo::BankSlotFile grown = bankSlots;
    try {
        grown.Grow(growths);
    } catch (const kivo::FormatError &error) {
        throw ToText(error);
    }
    return grown.BufferSize() - Today();
}
