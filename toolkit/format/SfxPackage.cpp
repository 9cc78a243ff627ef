#include "format/SfxPackage.h"

#include <algorithm>

#include "format/AtomicFile.h"
#include "format/BankHeader.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/MappedFile.h"
#include "format/MetafileWriter.h"
#include "format/NameTable.h"
#include "format/Naming.h"
#include "format/OggTrackFile.h"
#include "format/PathCase.h"
#include "format/WavHeader.h"
#include "format/Warnings.h"

namespace kivo
{
SfxPackage SfxPackage::Open(const std::filesystem::path &packagePath, const LookupFile &lookup, const NameTable &packages,
                            Warnings &warnings)
{
    SfxPackage package;
    // Unpacked under the name the caller gave, which may differ in case from the file's own.
    package.path = ResolvePathCase(packagePath);
    package.name = packagePath.filename().string();
    CheckFolderName(package.name, "the package's file name");
    const int found = packages.Find(package.name);
    if (found < 0)
        throw FormatError("\"" + package.name + "\" is not listed in PakFiles.dat, so its banks cannot be found");
    package.index = static_cast<unsigned>(found);

    BinaryFile file(package.path, BinaryFile::Mode::Read);
    RejectZipArchive(file, "SFX package");
    std::vector<unsigned char> header(BankHeader::Size);
    for (const std::size_t record : lookup.RecordsOf(package.index)) {
        const LookupRecord location = lookup.Record(record);
        package.banks.push_back({record, location.offset, location.size});
        const std::string where = package.BankLabel(package.banks.size());
        const std::uint64_t end = std::uint64_t(location.offset) + BankHeader::Size + location.size;
        if (end > file.Size())
            throw FormatError(where + " reaches byte " + std::to_string(end) + ", beyond the end of the package ("
                              + std::to_string(file.Size()) + " bytes)");
        file.ReadAt(location.offset, header.data(), header.size());
        BankHeader::Parse(header.data(), location.size, where, warnings);
    }
    if (package.banks.empty())
        warnings.Add(package.name + " has no banks in " + lookup.Path().filename().string());
    package.RefuseOverlappingBanks(lookup);
    return package;
}

void SfxPackage::RefuseOverlappingBanks(const LookupFile &lookup) const
{
    // Records that share bytes would have those bytes unpacked once for each of them: a lookup
    // file of a few hundred kilobytes could make gigabytes of sounds out of one bank.
    std::vector<const BankLocation *> byOffset;
    for (const BankLocation &bank : banks)
        byOffset.push_back(&bank);
    std::stable_sort(byOffset.begin(), byOffset.end(),
              [](const BankLocation *a, const BankLocation *b) { return a->offset < b->offset; });
    for (std::size_t b = 1; b < byOffset.size(); ++b) {
        const BankLocation &before = *byOffset[b - 1];
        if (std::uint64_t(before.offset) + BankHeader::Size + before.size > byOffset[b]->offset)
            throw FormatError("records " + std::to_string(before.record) + " and " + std::to_string(byOffset[b]->record)
                              + " of " + lookup.Path().filename().string() + " describe banks of " + name
                              + " that overlap");
    }
}

void SfxPackage::Export(const std::filesystem::path &targetDirectory) const
{
    const std::filesystem::path folder = targetDirectory / name;
    MakeFolder(folder);

    MetafileWriter metafile;
    metafile.Section("Archive");
    metafile.Key("basename", name);
    metafile.Key("lookup_index", index);
    metafile.Key("num_banks", static_cast<long long>(banks.size()));
    std::vector<MetafileWriter> sections(banks.size());
    for (std::size_t b = 0; b < banks.size(); ++b)
        sections[b] = ExportBank(b, folder);
    for (const MetafileWriter &section : sections)
        metafile.Append(section);
    metafile.Save(folder / "sfx_import.ini");
}

std::vector<BankHeader> SfxPackage::ReadBanks() const
{
    BinaryFile package(path, BinaryFile::Mode::Read);
    std::vector<BankHeader> parsed;
    for (std::size_t b = 0; b < banks.size(); ++b)
        parsed.push_back(ReadBank(package, b));
    return parsed;
}

std::vector<BankHeader> SfxPackage::ReadBanks(const std::filesystem::path &packagePath, const std::filesystem::path &lookupPath)
{
    Warnings ignored;
    const NameTable packages = NameTable::Load(ResolvePathCase(lookupPath.parent_path() / "PakFiles.dat"),
                                               NameTable::PackageRecordSize);
    return Open(packagePath, LookupFile::Load(lookupPath), packages, ignored).ReadBanks();
}

BankHeader SfxPackage::ReadBank(BinaryFile &package, std::size_t b) const
{
    std::vector<unsigned char> header(BankHeader::Size);
    package.ReadAt(banks[b].offset, header.data(), header.size());
    Warnings again; // collected when the package was opened
    return BankHeader::Parse(header.data(), banks[b].size, BankLabel(b + 1), again);
}

MetafileWriter SfxPackage::ExportBank(std::size_t b, const std::filesystem::path &folder) const
{
    const BankLocation &bank = banks[b];
    const std::string section = "Bank_" + PaddedNumber(b + 1);
    MakeFolder(folder / section);
    BinaryFile package(path, BinaryFile::Mode::Read);
    const BankHeader parsed = ReadBank(package, b);

    MetafileWriter metafile;
    metafile.Section(section);
    metafile.Key("num_sounds", static_cast<long long>(parsed.sounds.size()));
    metafile.Key("lookup_record", static_cast<long long>(bank.record));
    for (std::size_t s = 0; s < parsed.sounds.size(); ++s) {
        const SoundDescriptor &sound = parsed.sounds[s];
        const std::string key = "sound_" + PaddedNumber(s + 1);
        WriteSound(package, b, parsed, s, folder / section / (key + ".wav"));

        metafile.Key(key + ".filename", section + "/" + key + ".wav");
        metafile.Key(key + ".sample_rate", sound.sampleRate);
        metafile.Key(key + ".unknown_16", sound.headroom);
        metafile.Key(key + ".loop_offset", sound.loop);
        metafile.Key(key + ".export_bytes", parsed.SoundBytes(s));
    }
    return metafile;
}

void SfxPackage::WriteSound(BinaryFile &package, std::size_t b, const BankHeader &parsed, std::size_t s,
                            const std::filesystem::path &wavPath) const
{
    const SoundDescriptor &sound = parsed.sounds[s];
    const std::uint32_t bytes = parsed.SoundBytes(s);
    const std::uint64_t pcm = std::uint64_t(banks[b].offset) + BankHeader::Size + sound.offset;
    // An earlier export's file, perhaps a replacement the user made, stays whole until its
    // successor is complete: a full disk must not leave half a sound under its name.
    AtomicFile wav(wavPath);
    // The header and the start of the sound fill the file's first block, so that the system
    // writes whole blocks only: a block written in two parts is first cleared, then copied
    // into at an odd place, which costs more than the extra read.
    unsigned char firstBlock[4096];
    const std::uint32_t lead = std::min<std::uint32_t>(bytes, sizeof firstBlock - WavHeaderSize);
    MakeMonoWavHeader(firstBlock, sound.sampleRate, bytes);
    package.ReadAt(pcm, firstBlock + WavHeaderSize, lead);
    wav.File().Write(firstBlock, WavHeaderSize + lead);
    wav.File().AppendFrom(package, pcm + lead, bytes - lead);
    wav.Commit();
}

std::vector<ListedEntry> SfxPackage::List() const
{
    BinaryFile package(path, BinaryFile::Mode::Read);
    const MappedFile bytes(path);
    std::vector<ListedEntry> entries;
    for (std::size_t b = 0; b < banks.size(); ++b) {
        const BankHeader parsed = ReadBank(package, b);
        const std::uint64_t pcmBase = std::uint64_t(banks[b].offset) + BankHeader::Size;
        // Opening checked the bank against the package's size then; the file may have changed since.
        if (pcmBase + parsed.pcmSize > bytes.Size())
            throw FormatError(BankLabel(b + 1) + " reaches beyond the end of the package, which changed while it was listed");
        for (std::size_t s = 0; s < parsed.sounds.size(); ++s) {
            const SoundDescriptor &sound = parsed.sounds[s];
            const std::uint32_t soundBytes = parsed.SoundBytes(s);
            unsigned char header[WavHeaderSize];
            MakeMonoWavHeader(header, sound.sampleRate, soundBytes);
            TrackChecksum checksum;
            checksum.Feed(header, sizeof header);
            checksum.Feed(bytes.Data() + pcmBase + sound.offset, soundBytes);
            ListedEntry entry;
            entry.name = "Bank_" + PaddedNumber(b + 1) + "/sound_" + PaddedNumber(s + 1) + ".wav";
            entry.size = WavHeaderSize + std::uint64_t(soundBytes);
            entry.checksum = checksum.Text();
            entry.bSound = true;
            entry.loop = sound.loop;
            entries.push_back(entry);
        }
    }
    return entries;
}

void SfxPackage::Extract(const std::string &entry, const std::filesystem::path &outputPath) const
{
    BinaryFile package(path, BinaryFile::Mode::Read);
    for (std::size_t b = 0; b < banks.size(); ++b) {
        const std::string prefix = "Bank_" + PaddedNumber(b + 1) + "/sound_";
        if (entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const BankHeader parsed = ReadBank(package, b);
        for (std::size_t s = 0; s < parsed.sounds.size(); ++s) {
            if (entry == prefix + PaddedNumber(s + 1) + ".wav")
                return WriteSound(package, b, parsed, s, outputPath);
        }
    }
    throw FormatError(name + " has no entry \"" + entry + "\"");
}

std::string SfxPackage::BankLabel(std::size_t bank) const
{
    return name + ", bank " + std::to_string(bank) + " (lookup record " + std::to_string(banks[bank - 1].record) + ")";
}
}
