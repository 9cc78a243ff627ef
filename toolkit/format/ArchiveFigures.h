#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kivo
{
// The size and checksum of an archive as a tool wrote it: what tells, after a save was cut off
// in the middle of its swap, whether the archive in place is the new one or still the old one.
// The tool prints them on standard output after packing; the save's journal records them.
struct ArchiveFigures
{
    std::uint64_t size = 0;
    std::string checksum; // TrackChecksum::Text() over the whole file

    // Reads the whole file. Throws FormatError when it cannot.
    static ArchiveFigures Of(const std::filesystem::path &file);
    // The line the tools print: "new archive: <size> bytes, checksum <16 hexadecimal digits>".
    std::string Text() const;
    // The figures of the last such line in text (a tool's standard output), if any.
    static std::optional<ArchiveFigures> Parse(const std::string &text);

    bool operator==(const ArchiveFigures &other) const { return size == other.size && checksum == other.checksum; }
};
}
