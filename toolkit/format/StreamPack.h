#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "format/MetafileWriter.h"

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
    std::string TrackLabel(std::size_t track) const;

    std::filesystem::path path;
    std::string name;
    std::vector<TrackLocation> tracks;
};
}
