#include "format/SfxImport.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
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
#include "format/ParallelFor.h"
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
    if (lengthChanged && sound.loop != -1 && (sound.loop < 0 || std::uint64_t(sound.loop) >= bytes / 2)) {
        warnings.Add(plan.label + ": the loop start " + std::to_string(sound.loop)
                     + " lies beyond the new sound's end, so the sound no longer loops");
        sound.loop = -1;
    }
    return sound;
}

// Writes a package bank by bank, its sounds on a few threads. A mono 16-bit WAV file's header
// tells the length of its samples, so the file is opened, placed in its turn (every sound before
// it placed) and then copied into its own part of the package while the next ones are opened and
// placed: reading some files while another thread writes overlaps well. A sound that is converted
// is written while it is placed, as only converting it tells its length.
class SfxPacker
{
public:
    SfxPacker(BinaryFile &file, const std::vector<BankPlan> &banks, const std::string &packageName, unsigned lookupIndex,
              Warnings &packWarnings)
        : out(file), plan(banks), basename(packageName), index(lookupIndex), warnings(packWarnings)
    {
    }

    // Returns each bank's place and size.
    std::vector<LookupRecord> Pack()
    {
        std::vector<const SoundPlan *> sounds;
        std::vector<std::size_t> bankOf;
        for (std::size_t b = 0; b < plan.size(); ++b)
            for (const SoundPlan &sound : plan[b].sounds) {
                sounds.push_back(&sound);
                bankOf.push_back(b);
            }
        ParallelFor(sounds.size(), [&](std::size_t i) {
            try {
                PackSound(i, *sounds[i], bankOf[i]);
            } catch (...) {
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    failedAt = std::min(failedAt, i);
                }
                turnChanged.notify_all();
                throw;
            }
        });
        while (started < plan.size())
            NextBank();
        if (started > 0)
            FinishBank();
        return locations;
    }

private:
    // Sounds are taken in order, so the one whose turn it is has always been taken, and every
    // turn comes unless a sound before fails; that failure is then the one reported.
    void PackSound(std::size_t i, const SoundPlan &sound, std::size_t bank)
    {
        PcmSource source(sound.path, sound.label);
        std::uint64_t offset = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            turnChanged.wait(lock, [&] { return placed == i || failedAt < i; });
            if (failedAt < i)
                return;
            while (started <= bank)
                NextBank();
            offset = end;
            Place(sound, source);
            ++placed;
        }
        turnChanged.notify_all();
        if (source.IsPlainWav()) {
            unsigned char *buffer = ScratchBuffer(copyChunk);
            for (std::size_t got; (got = source.Read(buffer, copyChunk)) != 0; offset += got)
                out.WriteAt(offset, buffer, got);
        }
    }

    // Makes the package reach at least up to position, so that everything before it can be
    // written in any order.
    void Extend(std::uint64_t position)
    {
        if (out.Size() < position)
            out.Resize(position);
    }

    // Finishes the bank being placed, if any, and keeps the header's place for the next one.
    void NextBank()
    {
        if (started > 0)
            FinishBank();
        where = basename + ", " + plan[started].section;
        if (end > maxOffset - BankHeader::Size)
            throw FormatError(where + " would start beyond 4 GiB, which the bank lookup file cannot address");
        headerOffset = end;
        end += BankHeader::Size;
        header = BankHeader();
        ++started;
    }

    // Gives the sound its place at the end; one that is converted is written there at once.
    void Place(const SoundPlan &sound, PcmSource &source)
    {
        const auto bankBytes = static_cast<std::uint32_t>(end - headerOffset - BankHeader::Size);
        std::uint64_t bytes = source.IsPlainWav() ? source.PlainBytes() : 0;
        if (bankBytes + bytes > maxOffset)
            throw FormatError(where + " grows beyond 4 GiB of sound data");
        if (!source.IsPlainWav()) {
            Extend(end); // the samples are appended
            unsigned char *buffer = ScratchBuffer(copyChunk);
            for (std::size_t got; (got = source.Read(buffer, copyChunk)) != 0;) {
                bytes += got;
                if (bankBytes + bytes > maxOffset)
                    throw FormatError(where + " grows beyond 4 GiB of sound data");
                out.Write(buffer, got);
            }
        }
        header.sounds.push_back(Describe(sound, source, bankBytes, bytes, warnings));
        end += bytes;
        Extend(end);
    }

    void FinishBank()
    {
        header.pcmSize = static_cast<std::uint32_t>(end - headerOffset - BankHeader::Size);
        unsigned char bytes[BankHeader::Size];
        header.Serialise(bytes);
        Extend(end);
        out.WriteAt(headerOffset, bytes, sizeof bytes);
        locations.push_back({index, static_cast<std::uint32_t>(headerOffset), header.pcmSize});
        PauseForTest("archive");
    }

    BinaryFile &out;
    const std::vector<BankPlan> &plan;
    const std::string &basename;
    const unsigned index;
    Warnings &warnings;

    // What follows changes only under the mutex, in the order of the sounds.
    std::mutex mutex;
    std::condition_variable turnChanged;
    std::size_t placed = 0; // sounds placed so far; the next one's turn
    std::size_t failedAt = std::numeric_limits<std::size_t>::max();
    std::vector<LookupRecord> locations;
    std::uint64_t end = 0;   // where the next header or sound goes
    std::size_t started = 0; // banks begun so far; the last of them is being placed
    std::uint64_t headerOffset = 0;
    BankHeader header;
    std::string where;
};
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
    const unsigned index = ResolveArchiveIndex(ResolvePathCase(lookupPath.parent_path() / "PakFiles.dat"), NameTable::PackageRecordSize,
                                               basename, metafile.Integer("Archive", "lookup_index", -1));
    const std::vector<BankPlan> plan = ReadPlan(metafile, lookup.RecordsOf(index));

    AtomicFile package(newPackagePath);
    const std::vector<LookupRecord> locations = SfxPacker(package.File(), plan, basename, index, warnings).Pack();
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
