#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kivo
{
class Warnings;

struct LookupRecord
{
    unsigned archive = 0;      // index into PakFiles.dat or StrmPaks.dat
    std::uint32_t offset = 0;  // of the bank or track header in its archive
    std::uint32_t size = 0;
};

// BankLkup.dat or TrakLkup.dat: 12-byte records whose position is the number the game uses for a
// bank or track, so records are only ever changed in place, never added, dropped or moved.
// Keeps the file's bytes, so padding and other archives' records are written back unchanged.
class LookupFile
{
public:
    static constexpr std::size_t RecordSize = 12;
    static constexpr std::size_t MaxRecords = 65535; // the game counts them in 16 bits

    // Throws FormatError for a size that is not whole records or holds more than MaxRecords.
    static LookupFile Load(const std::filesystem::path &path);
    // Throws FormatError when path names the other kind's table (otherName: "TrakLkup.dat" for
    // the SFX tool, "BankLkup.dat" for the stream tool). Both have the same record layout, so
    // a mistaken configuration line would otherwise have the wrong table's records rewritten.
    static void RefuseOtherKind(const std::filesystem::path &path, const std::string &otherName);

    const std::filesystem::path &Path() const { return path; }
    std::size_t Count() const { return bytes.size() / RecordSize; }
    LookupRecord Record(std::size_t index) const;
    // Positions of the records of one archive, in record order.
    std::vector<std::size_t> RecordsOf(unsigned archive) const;
    void SetLocation(std::size_t index, std::uint32_t offset, std::uint32_t size);

    // Writes the records set with SetLocation over the file they came from, read again first so
    // that the other archives' records stay as they are on disk now. The new file replaces the
    // old one in a single rename, so the file is always complete; the old one is then kept as
    // "<file>.bak" (a warning when that fails: the records are in place). Throws FormatError when
    // the file no longer holds these records for the same archives, changing nothing.
    void Replace(Warnings &warnings) const;
    // Replace() for the records of a newly written archive, which is useless without them: when
    // the records could not be put in place, the archive is removed, so it is never swapped in,
    // and the error rethrown.
    void ReplaceFor(const std::filesystem::path &newArchivePath, Warnings &warnings) const;

private:
    // Replace(); `replaced` tells whether the new file took the old one's place before a throw.
    void Write(bool &replaced, Warnings &warnings) const;

    std::filesystem::path path;
    std::vector<unsigned char> bytes;
    std::set<std::size_t> changed;
};
}
