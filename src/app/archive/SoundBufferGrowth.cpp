#include "app/archive/SoundBufferGrowth.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "app/archive/KeptOriginals.h"
#include "app/archive/LoadedArchive.h"
#include "audio/AudioConverter.h"
#include "format/BankHeader.h"
#include "format/FormatError.h"
#include "format/Metafile.h"
#include "format/SfxPackage.h"
#include "format/Naming.h"
#include "format/PcmSource.h"
#include "game/PathCase.h"

namespace
{
QString Size(quint64 bytes)
{
    return QLocale::c().formattedDataSize(qint64(bytes), 2, QLocale::DataSizeSIFormat);
}

QString Seconds(double seconds)
{
    return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}

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

QString SoundBufferGrowth::LongSoundsQuestion(const LoadedArchive &archive, const QList<Planned> &planned,
                                              QHash<QString, double> &originalSeconds)
{
    // A track streams from its archive: its length costs the game no memory.
    if (archive.Type() != IniMetafileModel::SFX)
        return QString();
    // The game's own sound where its original archive is kept: the file unpacking wrote may come
    // from an archive saved with a long sound already.
    const QHash<QString, double> keptLengths = KeptOriginalLengths(archive);
    QStringList lines;
    QHash<QString, quint64> newBytes;
    for (const Planned &replace : planned) {
        if (replace.target.isNull())
            continue;
        const QString original = archive.OriginalFilePath(replace.entryName);
        const double before = keptLengths.contains(replace.entryName)
                                ? keptLengths.value(replace.entryName)
                                : AudioConverter::Seconds(QFileInfo(original).isFile() ? original : replace.target);
        const double after = AudioConverter::Seconds(replace.chosen);
        // Every file of the replace counts towards the buffer, the long ones are asked about.
        const int rate = replace.metafileRate > 0 ? replace.metafileRate : AudioConverter::FormOf(replace.target).sampleRate;
        newBytes.insert(replace.entryName, quint64(std::llround(after * rate)) * 2);
        if (!IsMuchLonger(after, before))
            continue;
        lines << replace.entryName + QStringLiteral(": ") + Seconds(after) + QStringLiteral(" instead of ") + Seconds(before);
        originalSeconds.insert(replace.target, before);
    }
    if (lines.isEmpty())
        return QString();

    QString buffer;
    try {
        SoundBufferGrowth growth = Of(archive);
        for (auto it = newBytes.begin(); it != newBytes.end(); ++it)
            growth.SetSoundBytes(it.key(), it.value());
        const quint64 after = growth.AfterSave();
        buffer = QStringLiteral("When this is saved, the game's sound buffer grows by %1, from %2 to %3.")
                     .arg(Size(after - growth.Today()), Size(growth.Today()), Size(after));
    } catch (const QString &reason) {
        buffer = QStringLiteral("How far the game's sound buffer grows when this is saved cannot be told: ") + reason;
    }
    return (lines.size() == 1 ? QStringLiteral("The new sound is much longer than the original:\n")
                              : QStringLiteral("The new sounds are much longer than their originals:\n"))
         + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + buffer
         + QStringLiteral("\nThe game holds all its sounds in this buffer at once; one too large may keep it from starting.");
}

QString SoundBufferGrowth::SaveQuestion(const LoadedArchive &archive)
{
    try {
        const SoundBufferGrowth growth = Of(archive);
        const quint64 after = growth.AfterSave();
        if (after <= 2 * growth.Original())
            return QString();
        QStringList largest;
        for (const auto &[name, grown] : growth.LargestGrowths(5))
            largest << name + QStringLiteral(": ") + Size(grown);
        return QStringLiteral("Saving %1 grows the game's sound buffer from %2 to %3, more than twice the %4 of %5.\n"
                              "The game holds all its sounds in this buffer at once; one that large may keep it from "
                              "starting.\n\nThe sounds that grow it most:\n%6\n\nSave anyway?")
            .arg(FileNameOf(archive.ArchivePath()), Size(growth.Today()), Size(after), Size(growth.Original()),
                 growth.IsOriginalKept() ? QStringLiteral("the game's original BankSlot.dat")
                                         : QStringLiteral("today's BankSlot.dat"),
                 largest.join(QLatin1Char('\n')));
    } catch (const QString &) {
        return QString();
    }
}
