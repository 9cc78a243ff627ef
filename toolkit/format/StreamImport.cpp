#include "format/StreamImport.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/Metafile.h"
#include "format/NameTable.h"
#include "format/Naming.h"
#include "format/OggTrackFile.h"
#include "format/PathCase.h"
#include "format/ScratchBuffer.h"
#include "format/StreamCipher.h"
#include "format/StreamPack.h"
#include "format/TestPause.h"
#include "format/TrackHeader.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
// Moderate, and reused: fresh memory is slow to touch the first time.
constexpr std::size_t copyChunk = 1024 * 1024;
constexpr std::uint64_t maxPackSize = std::numeric_limits<std::uint32_t>::max();

enum class SizeRule { Ogg, OggAndHeader, Zero };

struct TrackPlan
{
    std::string section;
    std::string label;
    std::filesystem::path path;
    std::size_t record = 0;
    TrackHeader header;
    long long exportBytes = -1;
    std::string exportChecksum; // empty when the metafile does not say
    const std::string *sizeRule = nullptr; // the lookup_size key, when given
};

std::vector<Beat> ReadBeats(const Metafile &metafile, const std::string &section)
{
    const long long total = metafile.Integer(section, "beat_total", 0, 0, TrackHeader::MaxBeats);
    std::vector<Beat> beats(static_cast<std::size_t>(total));
    for (std::size_t b = 0; b < beats.size(); ++b) {
        const std::string key = "beat_" + PaddedNumber(b + 1);
        const std::string &value = metafile.Text(section, key);
        long long time = 0;
        long long control = 0;
        char tail = 0;
        if (std::sscanf(value.c_str(), "%lld,%lld%c", &time, &control, &tail) != 2
            || time < std::numeric_limits<std::int32_t>::min() || time > std::numeric_limits<std::int32_t>::max()
            || control < std::numeric_limits<std::int32_t>::min() || control > std::numeric_limits<std::int32_t>::max()
            || (time == -1 && control == 0))
            throw FormatError(metafile.Path().string() + ": [" + section + "] " + key + " = \"" + value
                              + "\" is not a beat (\"<milliseconds>,<control>\")");
        beats[b] = {static_cast<std::int32_t>(time), static_cast<std::int32_t>(control)};
    }
    return beats;
}

// Tracks are matched to the pack's lookup records by the records the export noted; without
// them, by position: the pack's records in the order of their old offsets are its tracks in
// file order.
std::vector<std::size_t> AssignRecords(const Metafile &metafile, const LookupFile &lookup, std::vector<std::size_t> records,
                                       const std::vector<std::string> &sections)
{
    std::size_t noted = 0;
    for (const std::string &section : sections)
        noted += metafile.Find(section, "lookup_record") ? 1 : 0;
    if (noted == 0) {
        std::stable_sort(records.begin(), records.end(), [&lookup](std::size_t a, std::size_t b) {
            return lookup.Record(a).offset < lookup.Record(b).offset;
        });
        return records;
    }
    if (noted != sections.size())
        throw FormatError(metafile.Path().string() + " gives lookup_record for some tracks only");
    const std::set<std::size_t> ofThisPack(records.begin(), records.end());
    std::set<std::size_t> taken;
    std::vector<std::size_t> assigned;
    for (const std::string &section : sections) {
        const long long record = metafile.Integer(section, "lookup_record");
        if (record < 0 || !ofThisPack.count(static_cast<std::size_t>(record)) || !taken.insert(static_cast<std::size_t>(record)).second)
            throw FormatError(metafile.Path().string() + ": [" + section + "] lookup_record " + std::to_string(record)
                              + " is not a record of this pack in the track lookup file, or is used twice");
        assigned.push_back(static_cast<std::size_t>(record));
    }
    return assigned;
}

std::vector<TrackPlan> ReadPlan(const Metafile &metafile, const LookupFile &lookup, const std::vector<std::size_t> &records)
{
    const long long listed = metafile.Integer("Stream", "num_tracks");
    if (listed != static_cast<long long>(records.size()))
        throw FormatError(metafile.Path().string() + " lists " + std::to_string(listed) + " tracks, but the track lookup file has "
                          + std::to_string(records.size()) + " for this pack");
    std::vector<std::string> sections;
    for (std::size_t t = 0; t < records.size(); ++t) {
        sections.push_back("Track_" + PaddedNumber(t + 1));
        if (!metafile.HasSection(sections.back()))
            throw FormatError(metafile.Path().string() + " has no section [" + sections.back() + "]");
    }
    const std::vector<std::size_t> assigned = AssignRecords(metafile, lookup, records, sections);

    std::vector<TrackPlan> plan(records.size());
    for (std::size_t t = 0; t < plan.size(); ++t) {
        TrackPlan &track = plan[t];
        track.section = sections[t];
        track.record = assigned[t];
        track.label = metafile.Text(track.section, "filename");
        CheckNameStaysInside(track.label, metafile.Path().string());
        track.path = ResolvePathCase(metafile.Path().parent_path() / track.label);
        track.header.beats = ReadBeats(metafile, track.section);
        track.header.lengthIndex = static_cast<unsigned>(
            metafile.Integer(track.section, "length_index", 0, 0, TrackHeader::LengthSlots - 1));
        track.header.lengthExtra = static_cast<std::uint32_t>(
            metafile.Integer(track.section, "length_extra", 0, 0, std::numeric_limits<std::uint32_t>::max()));
        track.exportBytes = metafile.Integer(track.section, "export_bytes", -1);
        if (const std::string *checksum = metafile.Find(track.section, "export_checksum"))
            track.exportChecksum = *checksum;
        track.sizeRule = metafile.Find(track.section, "lookup_size");
        if (track.sizeRule && *track.sizeRule != "ogg" && *track.sizeRule != "ogg+header" && *track.sizeRule != "zero")
            throw FormatError(metafile.Path().string() + ": [" + track.section + "] lookup_size = \"" + *track.sizeRule
                              + "\" is none of ogg, ogg+header, zero");
    }
    return plan;
}

// The game finds tracks by their position: packed in place of a pack, the new one keeps its number
// of tracks. Without a pack replaced (one built afresh) only the lookup file's track count holds.
void CheckTrackCount(std::size_t count, const std::filesystem::path &newPackPath, const std::string &origin)
{
    const std::filesystem::path replaced = ReplacedArchive(newPackPath);
    if (replaced.empty())
        return;
    Warnings ignored; // the old pack's oddities are not this packing's concern
    const std::size_t before = StreamPack::Open(replaced, ignored).TrackCount();
    if (before != count)
        throw FormatError(origin + " lists " + std::to_string(count) + " tracks, as the track lookup file does, but "
                          + replaced.filename().string() + " has " + std::to_string(before)
                          + "; the game finds tracks by their position");
}

// The record's size field holds the Ogg length in some records and the length with the header in
// others; a record keeps the convention it had.
SizeRule RuleFor(const TrackPlan &track, const LookupRecord &before, const std::string &where, Warnings &warnings)
{
    if (track.sizeRule)
        return *track.sizeRule == "ogg" ? SizeRule::Ogg : *track.sizeRule == "zero" ? SizeRule::Zero : SizeRule::OggAndHeader;
    if (before.size == 0)
        return SizeRule::Zero;
    if (track.exportBytes >= 0 && before.size == track.exportBytes)
        return SizeRule::Ogg;
    if (track.exportBytes >= 0 && before.size == track.exportBytes + static_cast<long long>(TrackHeader::Size))
        return SizeRule::OggAndHeader;
    warnings.Add(where + ": the old lookup size " + std::to_string(before.size)
                 + " fits no known convention; the new one counts the Ogg bytes");
    return SizeRule::Ogg;
}

// Writes one track, its header and its encoded Ogg data, at its place in the pack. The header
// goes out with the first piece of the track: one write for most tracks. Returns the checksum of
// the Ogg data; packChecksum takes the bytes written, which follow the previous track's.
std::string PackTrack(const TrackPlan &track, std::uint64_t offset, BinaryFile &out, TrackChecksum &packChecksum)
{
    unsigned char *buffer = ScratchBuffer(TrackHeader::Size + copyChunk);
    track.header.Serialise(buffer);
    std::size_t pending = TrackHeader::Size; // at the buffer's start, not yet written
    std::uint64_t position = offset;         // where the buffer's first byte belongs
    BinaryFile ogg(track.path, BinaryFile::Mode::Read);
    OggPageWalker pages;
    TrackChecksum checksum;
    const std::uint64_t length = track.header.oggLength;
    std::uint64_t copied = 0;
    for (std::size_t got; (got = ogg.ReadSome(buffer + pending, copyChunk)) != 0;) {
        if (copied + got > length)
            break;
        if (!pages.Feed(buffer + pending, got))
            throw FormatError(track.label + " is damaged: its Ogg pages break off after byte " + std::to_string(copied));
        checksum.Feed(buffer + pending, got);
        XorAtPosition(buffer, pending + got, position);
        packChecksum.Feed(buffer, pending + got);
        out.WriteAt(position, buffer, pending + got);
        position += pending + got;
        copied += got;
        pending = 0;
    }
    if (copied != length)
        throw FormatError(track.label + " changed while it was being packed");
    if (!pages.AtPageEnd())
        throw FormatError(track.label + " is cut off: its last Ogg page is incomplete");
    return checksum.Text();
}
}

ArchiveFigures ImportStreamPack(const std::filesystem::path &newPackPath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings)
{
    const Metafile metafile = Metafile::Load(metafilePath);
    if (!metafile.HasSection("Stream"))
        throw FormatError(metafilePath.string() + " has no [Stream] section; it is not a stream metafile");
    const std::string &basename = metafile.Text("Stream", "basename");
    CheckArchiveOfMetafile(newPackPath, basename, metafilePath.string());
    LookupFile::RefuseOtherKind(lookupPath, "BankLkup.dat");
    LookupFile lookup = LookupFile::Load(lookupPath);
    const unsigned index = ResolveArchiveIndex(ResolvePathCase(lookupPath.parent_path() / "StrmPaks.dat"), NameTable::StreamRecordSize,
                                               basename, metafile.Integer("Stream", "lookup_index", -1));
    std::vector<TrackPlan> plan = ReadPlan(metafile, lookup, lookup.RecordsOf(index));
    CheckTrackCount(plan.size(), newPackPath, metafilePath.string());

    std::vector<std::uint64_t> lengths;
    std::uint64_t packSize = 0;
    for (TrackPlan &track : plan) {
        const std::uint64_t length = CheckOggVorbisFile(track.path, track.label, warnings);
        packSize += TrackHeader::Size + length;
        if (length > std::numeric_limits<std::uint32_t>::max() || packSize > maxPackSize)
            throw FormatError("the tracks of " + basename + " add up to more than 4 GiB, which the track lookup file cannot address");
        track.header.oggLength = static_cast<std::uint32_t>(length);
        if (!track.header.beats.empty() && track.exportBytes >= 0 && track.exportBytes != static_cast<long long>(length))
            warnings.Add(track.label + " replaces a track with " + std::to_string(track.header.beats.size())
                         + " beats; the beats are kept and may no longer match the music");
    }

    // Every track's place is known from the lengths, so tracks are packed side by side, each
    // into its own part of the file.
    std::vector<std::uint64_t> offsets;
    std::uint64_t offset = 0;
    for (const TrackPlan &track : plan) {
        offsets.push_back(offset);
        offset += TrackHeader::Size + track.header.oggLength;
    }
    AtomicFile pack(newPackPath, AtomicFile::Durability::Synced);
    pack.File().Resize(packSize);
    TrackChecksum packChecksum;
    for (std::size_t t = 0; t < plan.size(); ++t) {
        const TrackPlan &track = plan[t];
        const std::string checksum = PackTrack(track, offsets[t], pack.File(), packChecksum);
        // Only a track that is not what unpacking wrote can hide audio that does not decode;
        // decoding every track would make packing many times slower than copying.
        if (track.exportBytes != static_cast<long long>(track.header.oggLength) || track.exportChecksum != checksum)
            DecodeOggVorbisFile(track.path, track.label);
        PauseForTest("archive");
    }
    std::vector<LookupRecord> locations;
    for (std::size_t t = 0; t < plan.size(); ++t) {
        const TrackPlan &track = plan[t];
        const std::string where = basename + ", " + track.section;
        const std::uint32_t length = track.header.oggLength;
        std::uint32_t size = 0;
        switch (RuleFor(track, lookup.Record(track.record), where, warnings)) {
        case SizeRule::Ogg: size = length; break;
        case SizeRule::OggAndHeader: size = static_cast<std::uint32_t>(length + TrackHeader::Size); break;
        case SizeRule::Zero: size = 0; break;
        }
        locations.push_back({index, static_cast<std::uint32_t>(offsets[t]), size});
    }
    pack.Commit();

    for (std::size_t t = 0; t < plan.size(); ++t)
        lookup.SetLocation(plan[t].record, locations[t].offset, locations[t].size);
    lookup.ReplaceFor(newPackPath, warnings);
    return {packSize, packChecksum.Text()};
}
}
