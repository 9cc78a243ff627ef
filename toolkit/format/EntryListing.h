#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kivo
{
// One entry of an archive as the tools' "-l" lists it: the file unpacking writes for it. A line
// holds tab-separated fields, name, size in bytes, checksum (16 hexadecimal digits, TrackChecksum
// over the file's bytes) and, for a sound only, its loop start as the metafile notes it (-1 for
// none). Names never hold a tab or a line end, since unpacking makes them from numbers.
struct ListedEntry
{
    std::string name; // relative to the archive's unpacked folder, '/' between folder and file
    std::uint64_t size = 0;
    std::string checksum;
    bool bSound = false;
    std::int32_t loop = -1;

    // The listing line, ending with '\n'.
    std::string Line() const;
};

// Prints the lines of entries on standard output in one piece once all are known, so that a run
// refused halfway prints none. Throws FormatError when standard output does not take them.
void PrintListing(const std::vector<ListedEntry> &entries);

// Throws FormatError when outputPath is one of the files inputs names: extracting an entry over
// the archive it comes from would lose the archive.
void RefuseOutputOverInput(const std::filesystem::path &outputPath, const std::vector<std::filesystem::path> &inputs);

// Reads a whole listing back. Throws FormatError naming the first line that is none of the
// program's, so a listing cut off or from another program is never taken for an archive's.
std::vector<ListedEntry> ParseListing(const std::string &text);
}
