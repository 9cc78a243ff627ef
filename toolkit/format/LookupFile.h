#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kivo
{
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

    // Writes the records over the file they came from: the old file is kept as "<file>.bak" first,
    // then the new one replaces it in a single rename, so the file is always complete.
    void Replace() const;
    // Replace() for the records of a newly written archive, which is useless without them: when
    // replacing fails, the archive is removed, so it is never swapped in, and the error rethrown.
    void ReplaceFor(const std::filesystem::path &newArchivePath) const;

private:
    std::filesystem::path path;
    std::vector<unsigned char> original;
    std::vector<unsigned char> bytes;
};
}
