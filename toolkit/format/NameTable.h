#pragma once
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kivo
{
// A table of archive names in fixed-size records (PakFiles.dat: 52 bytes, StrmPaks.dat: 16).
// A name's record position is the archive index the lookup files use. Read-only: the tools
// never write these tables.
class NameTable
{
public:
    static constexpr std::size_t PackageRecordSize = 52;
    static constexpr std::size_t StreamRecordSize = 16;
    static constexpr std::size_t MaxRecords = 256; // the lookup files keep the index in one byte

    // Throws FormatError for a size that is not whole records, more than 256 records, or a
    // record without its terminating NUL.
    static NameTable Load(const std::filesystem::path &path, std::size_t recordSize);

    std::size_t Count() const { return names.size(); }
    const std::string &Name(std::size_t index) const { return names[index]; }
    // The record holding name, -1 when none does. An exact match wins; otherwise letter case is
    // ignored, as Windows ignores it in the file names these tables list. Empty slots never match.
    int Find(const std::string &name) const;

private:
    std::vector<std::string> names;
};

// The index of the archive basename for an import: taken from the name table beside the lookup
// file when there is one (and then it must agree with the metafile's lookup_index when that is
// not -1), else the metafile's lookup_index. Throws FormatError when neither settles it.
unsigned ResolveArchiveIndex(const std::filesystem::path &tablePath, std::size_t recordSize,
                             const std::string &basename, long long metafileIndex);
}
