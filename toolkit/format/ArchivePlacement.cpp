#include "format/ArchivePlacement.h"

#include <algorithm>
#include <numeric>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"

namespace kivo
{
namespace
{
std::vector<std::size_t> ByOffset(const std::vector<Placement> &placements)
{
    std::vector<std::size_t> order(placements.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return placements[a].offset < placements[b].offset; });
    return order;
}
}

std::vector<bool> FindPlacementsOutside(const std::filesystem::path &archive, std::uint64_t archiveSize,
                                        const std::string &lookupName, const std::vector<Placement> &placements,
                                        std::vector<CheckFinding> &findings)
{
    std::vector<bool> inside(placements.size(), true);
    const std::vector<std::size_t> order = ByOffset(placements);
    const auto firstOutside = std::find_if(order.begin(), order.end(),
                                           [&](std::size_t p) { return placements[p].end > archiveSize; });
    if (firstOutside == order.end())
        return inside;
    const Placement &first = placements[*firstOutside];
    const std::uint64_t runEnd = firstOutside == order.begin() ? 0 : placements[*(firstOutside - 1)].end;
    const std::string name = archive.filename().string();
    if (first.offset == runEnd) {
        std::uint64_t needed = 0;
        for (auto p = firstOutside; p != order.end(); ++p) {
            inside[*p] = false;
            needed = std::max(needed, placements[*p].end);
        }
        findings.push_back({CheckFinding::Kind::ArchiveShort, archive, "",
                            "is " + std::to_string(archiveSize) + " bytes, but " + lookupName + " needs "
                                + std::to_string(needed) + ": the archive is cut short (a damaged or incomplete copy), and the game reads past its end for "
                                + first.where + (order.end() - firstOutside > 1 ? " and the " + std::to_string(order.end() - firstOutside - 1) + " after it" : "")});
        return inside;
    }
    for (auto p = firstOutside; p != order.end(); ++p) {
        if (placements[*p].end <= archiveSize)
            continue;
        inside[*p] = false;
        findings.push_back({CheckFinding::Kind::RecordOutside, archive, placements[*p].where,
                            "its lookup record places it at bytes " + std::to_string(placements[*p].offset) + " to "
                                + std::to_string(placements[*p].end) + ", outside " + name + " (" + std::to_string(archiveSize)
                                + " bytes): the game reads garbage or nothing for it"});
    }
    return inside;
}

void FindOverlaps(const std::filesystem::path &archive, const std::vector<Placement> &placements,
                  std::vector<CheckFinding> &findings)
{
    const std::vector<std::size_t> order = ByOffset(placements);
    // Compared with the furthest end so far, so a long bank that covers several others is caught
    // with each of them.
    std::size_t reaching = 0;
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (placements[order[i - 1]].end > placements[order[reaching]].end)
            reaching = i - 1;
        const Placement &before = placements[order[reaching]];
        const Placement &after = placements[order[i]];
        if (before.end > after.offset)
            findings.push_back({CheckFinding::Kind::BanksOverlap, archive, before.where,
                                "shares bytes with " + after.where + ": the game plays part of one as the other"});
    }
}

std::string WithoutPlace(const std::string &message, const std::string &place)
{
    if (message.compare(0, place.size(), place) != 0)
        return message;
    std::string rest = message.substr(place.size());
    rest.erase(0, rest.find_first_not_of(": "));
    return rest;
}

bool AllZero(const unsigned char *bytes, std::size_t size)
{
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

std::vector<std::size_t> OpenForCheck(const std::filesystem::path &archive, const std::filesystem::path &file,
                                      const NameTable &names, const LookupFile &lookup, const std::string &lookupName,
                                      const ArchiveWords &words, std::optional<BinaryFile> &opened,
                                      std::vector<CheckFinding> &findings)
{
    const std::string name = archive.filename().string();
    const int index = names.Find(name);
    if (index < 0) {
        findings.push_back({CheckFinding::Kind::CouldNotCheck, archive, "",
                            "\"" + name + "\" is not listed in " + words.table + ", so its " + words.items + " cannot be found"});
        return {};
    }
    try {
        opened.emplace(file, BinaryFile::Mode::Read);
    } catch (const FormatError &error) {
        findings.push_back({CheckFinding::Kind::CouldNotCheck, file, "", error.what()});
        return {};
    }
    const std::vector<std::size_t> records = lookup.RecordsOf(static_cast<unsigned>(index));
    if (!records.empty() && opened->Size() == 0) {
        findings.push_back({CheckFinding::Kind::Empty, file, "",
                            "is empty, but " + lookupName + " places " + std::to_string(records.size()) + " " + words.items
                                + " in it: " + words.loss + " (a damaged copy)"});
        return {};
    }
    return records;
}
}
