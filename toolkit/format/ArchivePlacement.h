#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "format/CheckFinding.h"

namespace kivo
{
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
}
