#include "format/StreamPack.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <system_error>

#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/MetafileWriter.h"
#include "format/NameTable.h"
#include "format/OggTrackFile.h"
#include "format/Naming.h"
#include "format/PathCase.h"
#include "format/ScratchBuffer.h"
#include "format/StreamCipher.h"
#include "format/TrackHeader.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
// Touching fresh memory costs about as much as copying it several times, so a moderate buffer,
// reused for every track, beats one that takes a whole track.
constexpr std::size_t copyChunk = 1024 * 1024;

void ReadDecoded(BinaryFile &file, std::uint64_t offset, unsigned char *buffer, std::size_t size)
{
    file.ReadAt(offset, buffer, size);
    XorAtPosition(buffer, size, offset);
}

}

StreamPack StreamPack::Open(const std::filesystem::path &packPath, Warnings &warnings)
{
    StreamPack pack;
    // Unpacked under the name the caller gave, which may differ in case from the file's own.
    pack.path = ResolvePathCase(packPath);
    pack.name = packPath.filename().string();
    BinaryFile file(pack.path, BinaryFile::Mode::Read);
    const std::string where = pack.path.string();
    if (file.Size() == 0)
        throw FormatError(where + " is empty");
    if (file.Size() > std::numeric_limits<std::uint32_t>::max())
        throw FormatError(where + " is larger than 4 GiB, which the track lookup file cannot address");
    RejectZipArchive(file, "stream pack");

    std::vector<unsigned char> header(TrackHeader::Size);
    for (std::uint64_t offset = 0; offset < file.Size();) {
        if (pack.tracks.size() == MaxTracks)
            throw FormatError(where + " holds more than " + std::to_string(MaxTracks) + " tracks");
        const std::string label = pack.TrackLabel(pack.tracks.size() + 1);
        if (file.Size() - offset < TrackHeader::Size)
            throw FormatError(label + " is cut off: " + std::to_string(file.Size() - offset)
                              + " bytes are left for its " + std::to_string(TrackHeader::Size) + "-byte header");
        ReadDecoded(file, offset, header.data(), header.size());
        const std::uint64_t payload = offset + TrackHeader::Size;
        TrackHeader parsed;
        try {
            parsed = TrackHeader::Parse(header.data(), file.Size() - payload, label, warnings);
        } catch (const FormatError &error) {
            if (pack.tracks.empty())
                throw FormatError(std::string(error.what()) + "; this is not a PC stream pack (PS2 streams are not supported)");
            throw;
        }
        unsigned char magic[4] = {};
        ReadDecoded(file, payload, magic, sizeof magic);
        if (std::memcmp(magic, "OggS", 4) != 0)
            throw FormatError(label + " does not hold Ogg data");
        pack.tracks.push_back({offset, parsed.oggLength});
        offset = payload + parsed.oggLength;
    }
    return pack;
}

StreamPack::LookupKeys StreamPack::FindLookupKeys(Warnings &warnings) const
{
    LookupKeys keys;
    const std::filesystem::path config = path.parent_path().parent_path() / "CONFIG";
    std::error_code error;
    if (!std::filesystem::exists(config / "StrmPaks.dat", error)) {
        warnings.Add("StrmPaks.dat was not found in " + config.string() + "; the pack's index is settled when it is packed");
        return keys;
    }
    try {
        keys.index = NameTable::Load(config / "StrmPaks.dat", NameTable::StreamRecordSize).Find(name);
        if (keys.index < 0 || !std::filesystem::exists(config / "TrakLkup.dat", error))
            return keys;
        const LookupFile lookup = LookupFile::Load(config / "TrakLkup.dat");
        std::map<std::uint32_t, std::size_t> recordByOffset;
        for (const std::size_t record : lookup.RecordsOf(static_cast<unsigned>(keys.index)))
            recordByOffset.emplace(lookup.Record(record).offset, record);
        if (recordByOffset.size() != tracks.size()) {
            warnings.Add("TrakLkup.dat does not list the " + std::to_string(tracks.size()) + " tracks of " + name
                         + " one by one; they are matched to its records by position when packed");
            return keys;
        }
        for (const TrackLocation &track : tracks) {
            const auto found = recordByOffset.find(static_cast<std::uint32_t>(track.headerOffset));
            if (found == recordByOffset.end()) {
                keys.records.clear();
                keys.sizeRules.clear();
                warnings.Add("TrakLkup.dat does not point at every track of " + name
                             + "; they are matched to its records by position when packed");
                return keys;
            }
            const std::uint32_t size = lookup.Record(found->second).size;
            keys.records.push_back(static_cast<long long>(found->second));
            keys.sizeRules.push_back(size == track.oggLength                         ? "ogg"
                                     : size == track.oggLength + TrackHeader::Size ? "ogg+header"
                                     : size == 0                                    ? "zero"
                                                                                    : "");
        }
    } catch (const FormatError &problem) {
        warnings.Add(std::string("the tables in ") + config.string() + " were not used: " + problem.what());
        keys = LookupKeys();
    }
    return keys;
}

void StreamPack::Export(const std::filesystem::path &targetDirectory, const std::string &folderName, Warnings &warnings) const
{
    CheckFolderName(folderName, "the folder name for " + name);
    const LookupKeys lookupKeys = FindLookupKeys(warnings);
    const std::filesystem::path folder = targetDirectory / folderName;
    MakeFolder(folder);

    MetafileWriter metafile;
    metafile.Section("Stream");
    metafile.Key("basename", name);
    metafile.Key("lookup_index", lookupKeys.index);
    metafile.Key("num_tracks", static_cast<long long>(tracks.size()));

    std::vector<MetafileWriter> sections(tracks.size());
    for (std::size_t t = 0; t < tracks.size(); ++t)
        sections[t] = ExportTrack(t, folder, lookupKeys);
    for (const MetafileWriter &section : sections)
        metafile.Append(section);
    metafile.Save(folder / "stream_import.ini");
}

TrackHeader StreamPack::ReadTrack(std::size_t t, const TakeBytes &take) const
{
    const TrackLocation &track = tracks[t];
    BinaryFile pack(path, BinaryFile::Mode::Read);
    // The header and the start of the Ogg data (all of it for most tracks) come in one read.
    unsigned char *buffer = ScratchBuffer(copyChunk);
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(copyChunk, TrackHeader::Size + std::uint64_t(track.oggLength)));
    ReadDecoded(pack, track.headerOffset, buffer, first);
    Warnings again; // collected when the pack was opened
    const TrackHeader parsed = TrackHeader::Parse(buffer, track.oggLength, TrackLabel(t + 1), again);
    take(buffer + TrackHeader::Size, first - TrackHeader::Size);
    const std::uint64_t payload = track.headerOffset + TrackHeader::Size;
    for (std::uint32_t copied = static_cast<std::uint32_t>(first - TrackHeader::Size); copied < track.oggLength;) {
        const std::size_t chunk = std::min<std::size_t>(copyChunk, track.oggLength - copied);
        ReadDecoded(pack, payload + copied, buffer, chunk);
        take(buffer, chunk);
        copied += static_cast<std::uint32_t>(chunk);
    }
    return parsed;
}

TrackHeader StreamPack::WriteTrack(std::size_t t, const std::filesystem::path &oggPath, std::string &checksum) const
{
    // An earlier export's track stays whole until its successor is complete.
    AtomicFile ogg(oggPath);
    TrackChecksum sum;
    const TrackHeader parsed = ReadTrack(t, [&](const unsigned char *data, std::size_t size) {
        sum.Feed(data, size);
        ogg.File().Write(data, size);
    });
    ogg.Commit();
    checksum = sum.Text();
    return parsed;
}

std::string StreamPack::TrackFileName(std::size_t t)
{
    return "Track_" + PaddedNumber(t + 1) + ".ogg";
}

std::vector<ListedEntry> StreamPack::List() const
{
    std::vector<ListedEntry> entries;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        TrackChecksum checksum;
        ReadTrack(t, [&checksum](const unsigned char *data, std::size_t size) { checksum.Feed(data, size); });
        ListedEntry entry;
        entry.name = TrackFileName(t);
        entry.size = tracks[t].oggLength;
        entry.checksum = checksum.Text();
        entries.push_back(entry);
    }
    return entries;
}

void StreamPack::Extract(const std::string &entry, const std::filesystem::path &outputPath) const
{
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (entry == TrackFileName(t)) {
            std::string checksum;
            WriteTrack(t, outputPath, checksum);
            return;
        }
    }
    throw FormatError(name + " has no entry \"" + entry + "\"");
}

MetafileWriter StreamPack::ExportTrack(std::size_t t, const std::filesystem::path &folder, const LookupKeys &lookupKeys) const
{
    const std::string section = "Track_" + PaddedNumber(t + 1);
    const std::string fileName = TrackFileName(t);
    std::string checksum;
    const TrackHeader parsed = WriteTrack(t, folder / fileName, checksum);

    MetafileWriter metafile;
    metafile.Section(section);
    metafile.Key("filename", fileName);
    metafile.Key("beat_total", static_cast<long long>(parsed.beats.size()));
    metafile.Key("length_index", parsed.lengthIndex);
    metafile.Key("length_extra", parsed.lengthExtra);
    metafile.Key("export_bytes", parsed.oggLength);
    // With the size, tells packing which tracks are still these bytes and need no decoding.
    metafile.Key("export_checksum", checksum);
    if (!lookupKeys.records.empty()) {
        metafile.Key("lookup_record", lookupKeys.records[t]);
        if (!lookupKeys.sizeRules[t].empty())
            metafile.Key("lookup_size", lookupKeys.sizeRules[t]);
    }
    for (std::size_t b = 0; b < parsed.beats.size(); ++b)
        metafile.Key("beat_" + PaddedNumber(b + 1), std::to_string(parsed.beats[b].timeMs) + "," + std::to_string(parsed.beats[b].control));
    return metafile;
}

std::string StreamPack::TrackLabel(std::size_t track) const
{
    return name + ", track " + std::to_string(track);
}
}
