#include "format/SfxImport.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "format/AtomicFile.h"
#include "format/BankHeader.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/Metafile.h"
#include "format/NameTable.h"
#include "format/Naming.h"
#include "format/PcmSource.h"
#include "format/TestPause.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
constexpr std::uint32_t maxOffset = std::numeric_limits<std::uint32_t>::max();

struct SoundPlan
{
    std::string label;           // "Bank_001/sound_002.wav" as the metafile names it
    std::filesystem::path path;
    std::int32_t loop = -1;
    std::int16_t headroom = 0;
    long long listedRate = 0;    // 0 when the metafile gives none
    long long exportBytes = -1;  // -1 when the metafile does not say
};

struct BankPlan
{
    std::string section;
    std::size_t record = 0;
    std::vector<SoundPlan> sounds;
};

std::vector<BankPlan> ReadPlan(const Metafile &metafile, const std::vector<std::size_t> &records)
{
    const long long listed = metafile.Integer("Archive", "num_banks");
    if (listed != static_cast<long long>(records.size()))
        throw FormatError(metafile.Path().string() + " lists " + std::to_string(listed) + " banks, but the bank lookup file has "
                          + std::to_string(records.size()) + " for this package");
    const std::filesystem::path folder = metafile.Path().parent_path();
    std::vector<BankPlan> plan(records.size());
    for (std::size_t b = 0; b < records.size(); ++b) {
        BankPlan &bank = plan[b];
        bank.section = "Bank_" + PaddedNumber(b + 1);
        bank.record = records[b];
        if (!metafile.HasSection(bank.section))
            throw FormatError(metafile.Path().string() + " has no section [" + bank.section + "]");
        const long long record = metafile.Integer(bank.section, "lookup_record", static_cast<long long>(bank.record));
        if (record != static_cast<long long>(bank.record))
            throw FormatError(metafile.Path().string() + ": [" + bank.section + "] belongs to lookup record " + std::to_string(record)
                              + ", but that bank is record " + std::to_string(bank.record) + " of the bank lookup file");
        const long long count = metafile.Integer(bank.section, "num_sounds", 0, 0, BankHeader::MaxSounds);
        bank.sounds.resize(static_cast<std::size_t>(count));
        for (std::size_t s = 0; s < bank.sounds.size(); ++s) {
            SoundPlan &sound = bank.sounds[s];
            const std::string key = "sound_" + PaddedNumber(s + 1);
            sound.label = metafile.Text(bank.section, key + ".filename");
            sound.path = folder / sound.label;
            sound.loop = static_cast<std::int32_t>(metafile.Integer(bank.section, key + ".loop_offset", -1,
                                                                    std::numeric_limits<std::int32_t>::min(),
                                                                    std::numeric_limits<std::int32_t>::max()));
            sound.headroom = static_cast<std::int16_t>(metafile.Integer(bank.section, key + ".unknown_16", 0, -32768, 32767));
            sound.listedRate = metafile.Integer(bank.section, key + ".sample_rate", 0);
            sound.exportBytes = metafile.Integer(bank.section, key + ".export_bytes", -1);
        }
    }
    return plan;
}

// Bank headers and converted sounds are gathered here and written to the package in large
// pieces; sounds taken over as they are go straight from their files into the package.
class PackageWriter
{
public:
    explicit PackageWriter(BinaryFile &file) : out(file), batch(new unsigned char[batchBytes]) {}

    std::uint64_t Position() const { return out.WritePosition() + used; }
    // Free space to fill, flushing first when it is full; Filled() takes what was put there.
    // There is always room for a 16-bit sample.
    unsigned char *Space(std::size_t &size)
    {
        if (batchBytes - used < 2)
            Flush();
        size = batchBytes - used;
        return batch.get() + used;
    }
    void Filled(std::size_t count) { used += count; }
    void Append(const unsigned char *data, std::size_t count)
    {
        while (count > 0) {
            std::size_t room = 0;
            unsigned char *space = Space(room);
            const std::size_t taken = std::min(room, count);
            std::memcpy(space, data, taken);
            Filled(taken);
            data += taken;
            count -= taken;
        }
    }
    // Overwrites bytes appended earlier, whether still gathered or already written.
    void OverwriteAt(std::uint64_t offset, const unsigned char *data, std::size_t count)
    {
        if (offset < out.WritePosition())
            Flush();
        if (offset < out.WritePosition())
            out.WriteAt(offset, data, count);
        else
            std::memcpy(batch.get() + (offset - out.WritePosition()), data, count);
    }
    void Flush()
    {
        out.Write(batch.get(), used);
        used = 0;
    }
    // The package with everything gathered so far written, for appending to it directly.
    BinaryFile &Flushed()
    {
        Flush();
        return out;
    }

private:
    static constexpr std::size_t batchBytes = 256 * 1024;
    BinaryFile &out;
    std::unique_ptr<unsigned char[]> batch;
    std::size_t used = 0;
};

// Streams one sound into the package and returns its descriptor (offset still relative to the
// bank's first sound).
SoundDescriptor WriteSound(const SoundPlan &plan, std::uint32_t bankBytes, PackageWriter &out, const std::string &where,
                           Warnings &warnings)
{
    PcmSource source(plan.path, plan.label);
    std::uint64_t bytes = 0;
    if (source.IsPlainWav()) {
        bytes = source.PlainBytes();
        if (bankBytes + bytes > maxOffset)
            throw FormatError(where + " grows beyond 4 GiB of sound data");
        source.AppendPlainTo(out.Flushed());
    }
    for (;;) {
        std::size_t room = 0;
        unsigned char *space = out.Space(room);
        const std::size_t got = source.Read(space, room);
        if (got == 0)
            break;
        bytes += got;
        if (bankBytes + bytes > maxOffset)
            throw FormatError(where + " grows beyond 4 GiB of sound data");
        out.Filled(got);
    }
    if (source.IsConverted())
        warnings.Add(plan.label + " was converted from " + source.Conversion() + " to mono 16-bit at "
                     + std::to_string(source.SampleRate()) + " Hz");
    if (plan.listedRate != 0 && plan.listedRate != source.SampleRate())
        warnings.Add(plan.label + " plays at " + std::to_string(source.SampleRate()) + " Hz instead of "
                     + std::to_string(plan.listedRate) + " Hz; the bank header now says so");

    SoundDescriptor sound;
    sound.offset = bankBytes;
    sound.sampleRate = static_cast<std::uint16_t>(source.SampleRate());
    sound.headroom = plan.headroom;
    sound.loop = plan.loop;
    const bool lengthChanged = plan.exportBytes != static_cast<long long>(bytes);
    if (lengthChanged && sound.loop != -1 && (sound.loop < 0 || std::uint64_t(sound.loop) >= bytes / 2)) {
        warnings.Add(plan.label + ": the loop start " + std::to_string(sound.loop)
                     + " lies beyond the new sound's end, so the sound no longer loops");
        sound.loop = -1;
    }
    return sound;
}
}

void ImportSfxPackage(const std::filesystem::path &newPackagePath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings)
{
    const Metafile metafile = Metafile::Load(metafilePath);
    if (!metafile.HasSection("Archive"))
        throw FormatError(metafilePath.string() + " has no [Archive] section; it is not an SFX metafile");
    const std::string &basename = metafile.Text("Archive", "basename");
    LookupFile::RefuseOtherKind(lookupPath, "TrakLkup.dat");
    LookupFile lookup = LookupFile::Load(lookupPath);
    const unsigned index = ResolveArchiveIndex(lookupPath.parent_path() / "PakFiles.dat", NameTable::PackageRecordSize,
                                               basename, metafile.Integer("Archive", "lookup_index", -1));
    const std::vector<BankPlan> plan = ReadPlan(metafile, lookup.RecordsOf(index));

    AtomicFile package(newPackagePath);
    PackageWriter out(package.File());
    std::vector<unsigned char> headerBytes(BankHeader::Size, 0);
    std::vector<LookupRecord> locations;
    for (const BankPlan &bank : plan) {
        const std::string where = basename + ", " + bank.section;
        const std::uint64_t headerOffset = out.Position();
        if (headerOffset > maxOffset - BankHeader::Size)
            throw FormatError(where + " would start beyond 4 GiB, which the bank lookup file cannot address");
        // The header is written once the sound lengths are known.
        std::fill(headerBytes.begin(), headerBytes.end(), 0);
        out.Append(headerBytes.data(), headerBytes.size());
        BankHeader header;
        for (const SoundPlan &sound : bank.sounds) {
            const auto bankBytes = static_cast<std::uint32_t>(out.Position() - headerOffset - BankHeader::Size);
            header.sounds.push_back(WriteSound(sound, bankBytes, out, where, warnings));
        }
        header.pcmSize = static_cast<std::uint32_t>(out.Position() - headerOffset - BankHeader::Size);
        header.Serialise(headerBytes.data());
        out.OverwriteAt(headerOffset, headerBytes.data(), headerBytes.size());
        locations.push_back({index, static_cast<std::uint32_t>(headerOffset), header.pcmSize});
        PauseForTest("archive");
    }
    out.Flush();
    package.Commit();

    for (std::size_t b = 0; b < plan.size(); ++b) {
        const LookupRecord before = lookup.Record(plan[b].record);
        if (locations[b].size > before.size)
            warnings.Add(basename + ", " + plan[b].section + " grew from " + std::to_string(before.size) + " to "
                         + std::to_string(locations[b].size) + " bytes; the game's sound buffers may not hold it");
        lookup.SetLocation(plan[b].record, locations[b].offset, locations[b].size);
    }
    try {
        lookup.Replace();
    } catch (...) {
        // Without its lookup records the new package is useless; do not leave it to be swapped in.
        std::error_code ignored;
        std::filesystem::remove(newPackagePath, ignored);
        throw;
    }
}
}
