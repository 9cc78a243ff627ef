#include "format/SfxImport.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "format/AtomicFile.h"
#include "format/BankHeader.h"
#include "format/BankSlotFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/Metafile.h"
#include "format/NameTable.h"
#include "format/Naming.h"
#include "format/PathCase.h"
#include "format/PcmSource.h"
#include "format/ScratchBuffer.h"
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
            CheckNameStaysInside(sound.label, metafile.Path().string());
            sound.path = ResolvePathCase(folder / sound.label);
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

// The game finds sounds by their position in their bank: packed in place of a package, every
// bank keeps its number of sounds. Without a package replaced (one built afresh) only the lookup
// file's bank count holds, and nothing is returned. Otherwise returns the replaced package's banks, whose sizes tell what grew.
std::vector<BankHeader> ReadReplacedBanks(const std::vector<BankPlan> &plan, const LookupFile &lookup,
                                          const std::filesystem::path &newPackagePath, const std::string &origin)
{
    const std::filesystem::path replaced = ReplacedArchive(newPackagePath);
    if (replaced.empty())
        return {};
    BinaryFile old(replaced, BinaryFile::Mode::Read);
    std::vector<BankHeader> banks;
    unsigned char bytes[BankHeader::Size];
    for (const BankPlan &bank : plan) {
        const LookupRecord location = lookup.Record(bank.record);
        const std::string where = replaced.filename().string() + ", " + bank.section;
        if (std::uint64_t(location.offset) + BankHeader::Size + location.size > old.Size())
            throw FormatError(replaced.string() + " does not reach " + bank.section + "; it does not match the bank lookup file");
        old.ReadAt(location.offset, bytes, sizeof bytes);
        Warnings ignored; // the old package's oddities are not this packing's concern
        banks.push_back(BankHeader::Parse(bytes, location.size, where, ignored));
        if (banks.back().sounds.size() != bank.sounds.size())
            throw FormatError(origin + ": [" + bank.section + "] lists " + std::to_string(bank.sounds.size())
                              + " sounds, but that bank of " + replaced.filename().string() + " has "
                              + std::to_string(banks.back().sounds.size()) + "; the game finds sounds by their position");
    }
    return banks;
}

// Grows the game's sound buffer slots (BankSlot.dat beside the lookup file) to hold what grew, and
// says so; a package that grows nothing leaves the file untouched.
void GrowBankSlots(BankSlotFile &slots, const std::vector<Growth> &growths, const std::string &basename, Warnings &warnings)
{
    const std::uint64_t before = slots.BufferSize();
    const std::size_t grown = slots.Grow(growths);
    if (grown == 0)
        return;
    slots.Replace();
    warnings.Add(slots.Path().filename().string() + ": " + std::to_string(grown) + " of " + std::to_string(slots.Count())
                 + " sound buffer slots grew to hold the larger banks and sounds of " + basename
                 + "; the game's sound buffer grows from " + std::to_string(before) + " to "
                 + std::to_string(slots.BufferSize()) + " bytes");
}

constexpr std::size_t copyChunk = 256 * 1024;

// The descriptor of a sound of the given length that starts bankBytes into its bank, with the
// warnings its file calls for.
SoundDescriptor Describe(const SoundPlan &plan, const PcmSource &source, std::uint32_t bankBytes, std::uint64_t bytes,
                         Warnings &warnings)
{
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
    const std::uint64_t frames = bytes / 2;
    if (lengthChanged && sound.loop != -1 && (sound.loop < 0 || std::uint64_t(sound.loop) >= frames)) {
        // A looping engine or wind sound that stopped looping would fall silent in the game, so
        // it loops from its start instead; only a sound with nothing in it cannot loop.
        const std::string was = plan.label + ": the loop start " + std::to_string(sound.loop) + " lies beyond the new sound's end";
        if (frames == 0) {
            warnings.Add(was + ", so the sound no longer loops");
            sound.loop = -1;
        } else {
            warnings.Add(was + " (" + std::to_string(frames) + " frames), so the sound loops from its start now");
            sound.loop = 0;
        }
    }
    return sound;
}

// Writes a package bank by bank, sound by sound; a bank's header takes its place first and is
// filled in once its sounds have told its size. (Threads that read some sounds while others
// were written gained nothing measurable here.)
class SfxPacker
{
public:
    SfxPacker(BinaryFile &file, const std::string &packageName, unsigned lookupIndex, Warnings &packWarnings)
        : out(file), basename(packageName), index(lookupIndex), warnings(packWarnings)
    {
    }

    // Returns each bank's place and size; Banks() then holds their headers.
    std::vector<LookupRecord> Pack(const std::vector<BankPlan> &plan)
    {
        std::vector<LookupRecord> locations;
        for (const BankPlan &bank : plan) {
            const std::string where = basename + ", " + bank.section;
            const std::uint64_t headerOffset = out.WritePosition();
            if (headerOffset > maxOffset - BankHeader::Size)
                throw FormatError(where + " would start beyond 4 GiB, which the bank lookup file cannot address");
            out.Resize(headerOffset + BankHeader::Size);
            BankHeader header;
            for (const SoundPlan &sound : bank.sounds)
                header.sounds.push_back(PackSound(sound, where, headerOffset + BankHeader::Size));
            header.pcmSize = static_cast<std::uint32_t>(out.WritePosition() - headerOffset - BankHeader::Size);
            unsigned char bytes[BankHeader::Size];
            header.Serialise(bytes);
            out.WriteAt(headerOffset, bytes, sizeof bytes);
            locations.push_back({index, static_cast<std::uint32_t>(headerOffset), header.pcmSize});
            banks.push_back(std::move(header));
            PauseForTest("archive");
        }
        return locations;
    }
    const std::vector<BankHeader> &Banks() const { return banks; }

private:
    // Appends the sound's samples, converted where its file needs it, and describes them.
    SoundDescriptor PackSound(const SoundPlan &sound, const std::string &where, std::uint64_t bankStart)
    {
        PcmSource source(sound.path, sound.label);
        const auto bankBytes = static_cast<std::uint32_t>(out.WritePosition() - bankStart);
        std::uint64_t bytes = 0;
        unsigned char *buffer = ScratchBuffer(copyChunk);
        for (std::size_t got; (got = source.Read(buffer, copyChunk)) != 0;) {
            bytes += got;
            if (bankBytes + bytes > maxOffset)
                throw FormatError(where + " grows beyond 4 GiB of sound data");
            out.Write(buffer, got);
        }
        // An odd byte would shift every later sound of the bank by half a sample.
        if (bytes % 2 != 0)
            throw FormatError(sound.label + " holds an odd number of bytes of 16-bit sound data (" + std::to_string(bytes)
                              + "); the file is cut off or damaged");
        return Describe(sound, source, bankBytes, bytes, warnings);
    }

    BinaryFile &out;
    const std::string &basename;
    const unsigned index;
    Warnings &warnings;
    std::vector<BankHeader> banks;
};
}

ArchiveFigures ImportSfxPackage(const std::filesystem::path &newPackagePath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings)
{
    const Metafile metafile = Metafile::Load(metafilePath);
    if (!metafile.HasSection("Archive"))
        throw FormatError(metafilePath.string() + " has no [Archive] section; it is not an SFX metafile");
    const std::string &basename = metafile.Text("Archive", "basename");
    CheckArchiveOfMetafile(newPackagePath, basename, metafilePath.string());
    LookupFile::RefuseOtherKind(lookupPath, "TrakLkup.dat");
    LookupFile lookup = LookupFile::Load(lookupPath);
    const unsigned index = ResolveArchiveIndex(ResolvePathCase(lookupPath.parent_path() / "PakFiles.dat"), NameTable::PackageRecordSize,
                                               basename, metafile.Integer("Archive", "lookup_index", -1));
    const std::vector<BankPlan> plan = ReadPlan(metafile, lookup.RecordsOf(index));
    const std::vector<BankHeader> replaced = ReadReplacedBanks(plan, lookup, newPackagePath, metafilePath.string());
    // Read before anything is written: a damaged one is refused like any other input.
    const std::filesystem::path slotsPath = ResolvePathCase(lookupPath.parent_path() / "BankSlot.dat");
    std::error_code error;
    std::optional<BankSlotFile> slots;
    if (!replaced.empty() && std::filesystem::exists(slotsPath, error))
        slots = BankSlotFile::Load(slotsPath);

    AtomicFile package(newPackagePath, AtomicFile::Durability::Synced);
    SfxPacker packer(package.File(), basename, index, warnings);
    const std::vector<LookupRecord> locations = packer.Pack(plan);
    package.Commit();
    // Read back, as the bank headers are written only after their sounds: from the disk cache,
    // at a fraction of what packing took.
    const ArchiveFigures figures = ArchiveFigures::Of(newPackagePath);

    for (std::size_t b = 0; b < plan.size(); ++b) {
        const LookupRecord before = lookup.Record(plan[b].record);
        if (locations[b].size > before.size)
            warnings.Add(basename + ", " + plan[b].section + " grew from " + std::to_string(before.size) + " to "
                         + std::to_string(locations[b].size) + " bytes"
                         + (slots ? "" : "; the game's sound buffers may not hold it"));
        lookup.SetLocation(plan[b].record, locations[b].offset, locations[b].size);
    }
    // Slots grown for a package that is never swapped in cost memory but break nothing, whereas
    // a swapped-in package with slots too small overruns them: the slots go first.
    try {
        if (slots)
            GrowBankSlots(*slots, GrowthsOf(replaced, packer.Banks()), basename, warnings);
    } catch (...) {
        std::filesystem::remove(newPackagePath, error);
        throw;
    }
    lookup.ReplaceFor(newPackagePath, warnings);
    return figures;
}
}
