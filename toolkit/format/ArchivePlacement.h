#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "format/CheckFinding.h"

namespace kivo
{
class BinaryFile;
class LookupFile;
class NameTable;

// Where a lookup record puts a bank or track in its archive: from its header's offset to the end
// of its data, and how a finding names it.
struct Placement
{
    std::string where;
    std::uint64_t offset = 0;
    std::uint64_t end = 0;
};

// Adds a finding for the placements that do not end inside an archive of archiveSize bytes, and
// returns for each placement (in the order given) whether it does. When the first one to pass the
// end continues the run of the ones before it, the archive is taken for cut short and that and
// everything after it is one ArchiveShort finding; otherwise each is a RecordOutside finding.
std::vector<bool> FindPlacementsOutside(const std::filesystem::path &archive, std::uint64_t archiveSize,
                                        const std::string &lookupName, const std::vector<Placement> &placements,
                                        std::vector<CheckFinding> &findings);

// Adds a BanksOverlap finding for each two placements that share bytes.
void FindOverlaps(const std::filesystem::path &archive, const std::vector<Placement> &placements,
                  std::vector<CheckFinding> &findings);

// message without the place a reader's message starts with, which the finding names already.
std::string WithoutPlace(const std::string &message, const std::string &place);

// Whether every byte is zero: what a bad copy leaves where it could not read.
bool AllZero(const unsigned char *bytes, std::size_t size);

// How a check names what an archive holds: the name table that lists it ("PakFiles.dat"), its
// items ("banks") and what an empty archive costs the game.
struct ArchiveWords
{
    const char *table;
    const char *items;
    const char *loss;
};

// The start both checks share: finds archive's records in lookup by its name in names, and opens
// file (the archive or a "<archive>.new" standing in for it) into opened. Returns the records to
// check; none when there is nothing to read, with what stopped the check (an archive not listed,
// a file that cannot be opened, an empty archive that should hold records) added to findings.
std::vector<std::size_t> OpenForCheck(const std::filesystem::path &archive, const std::filesystem::path &file,
                                      const NameTable &names, const LookupFile &lookup, const std::string &lookupName,
                                      const ArchiveWords &words, std::optional<BinaryFile> &opened,
                                      std::vector<CheckFinding> &findings);
}
