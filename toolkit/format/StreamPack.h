#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "format/EntryListing.h"
#include "format/MetafileWriter.h"
#include "format/TrackHeader.h"

namespace kivo
{
class Warnings;

// A stream pack opened for unpacking. The pack is walked from header to header on its own (no
// lookup file is needed) and every header is checked on the way, so a damaged pack is refused
// before anything is written; only track positions and lengths are kept.
class StreamPack
{
public:
    static constexpr std::size_t MaxTracks = 65535; // as many as a track lookup file can number

    static StreamPack Open(const std::filesystem::path &packPath, Warnings &warnings);

    const std::string &Name() const { return name; }
    std::size_t TrackCount() const { return tracks.size(); }

    // Writes targetDirectory/<folderName>/ with Track_NNN.ogg files and "stream_import.ini"; the
    // metafile comes last, with each track's size and checksum. The pack's index and lookup records
    // come from StrmPaks.dat and TrakLkup.dat in ../CONFIG beside the pack when they are there.
    void Export(const std::filesystem::path &targetDirectory, const std::string &folderName, Warnings &warnings) const;

    // Every track as Export() writes it, in order, each read and decoded to take its checksum;
    // nothing is written.
    std::vector<ListedEntry> List() const;
    // Writes the one track named entry (a name as List() gives it) to outputPath exactly as
    // Export() writes it, reading only that track. Throws FormatError when the pack has no such
    // entry.
    void Extract(const std::string &entry, const std::filesystem::path &outputPath) const;

private:
    struct TrackLocation
    {
        std::uint64_t headerOffset = 0;
        std::uint32_t oggLength = 0;
    };
    struct LookupKeys
    {
        long long index = -1;
        std::vector<long long> records;     // per track, empty when unknown
        std::vector<std::string> sizeRules; // per track, empty when unknown
    };

    LookupKeys FindLookupKeys(Warnings &warnings) const;
    MetafileWriter ExportTrack(std::size_t track, const std::filesystem::path &folder, const LookupKeys &lookupKeys) const;
    // Hands track t's Ogg data, decoded, to take piece by piece; returns its header, checked again.
    using TakeBytes = std::function<void(const unsigned char *data, std::size_t size)>;
    TrackHeader ReadTrack(std::size_t t, const TakeBytes &take) const;
    // Writes track t to oggPath; returns its header and puts the checksum of its bytes in checksum.
    TrackHeader WriteTrack(std::size_t t, const std::filesystem::path &oggPath, std::string &checksum) const;
    std::string TrackLabel(std::size_t track) const;
    static std::string TrackFileName(std::size_t t); // "Track_001.ogg" for t = 0

    std::filesystem::path path;
    std::string name;
    std::vector<TrackLocation> tracks;
};
}
