#include "format/SfxCheck.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "format/ArchivePlacement.h"
#include "format/BankHeader.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/PathCase.h"
#include "format/SfxPackage.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
bool IsFile(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}

std::filesystem::path CommonFolder(const std::filesystem::path &first, const std::filesystem::path &second)
{
    const std::filesystem::path a = std::filesystem::absolute(first).lexically_normal().parent_path();
    const std::filesystem::path b = std::filesystem::absolute(second).lexically_normal().parent_path();
    std::filesystem::path common;
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end() && *i == *j; ++i, ++j)
        common /= *i;
    return common;
}

std::filesystem::path KeptOriginalOf(const std::filesystem::path &gameFile, const std::filesystem::path &root)
{
    return root / "RozivOze originals" / std::filesystem::absolute(gameFile).lexically_normal().lexically_relative(root);
}

SfxCheck::SfxCheck(const std::filesystem::path &lookupFile)
    : lookupPath(lookupFile)
{
    try {
        LookupFile::RefuseOtherKind(lookupPath, "TrakLkup.dat");
        lookup = LookupFile::Load(lookupPath);
        const std::filesystem::path pakFiles = ResolvePathCase(lookupPath.parent_path() / "PakFiles.dat");
        if (!IsFile(pakFiles))
            throw FormatError("PakFiles.dat was not found beside " + lookupPath.string() + "; it is needed to find a package's banks");
        names = NameTable::Load(pakFiles, NameTable::PackageRecordSize);
    } catch (const FormatError &error) {
        setup.push_back({CheckFinding::Kind::CouldNotCheck, lookupPath, "", error.what()});
        return;
    }

    const std::filesystem::path slotsPath = ResolvePathCase(lookupPath.parent_path() / "BankSlot.dat");
    if (!IsFile(slotsPath)) {
        setup.push_back({CheckFinding::Kind::SlotsMissing, slotsPath, "",
                         "is missing beside " + lookupPath.filename().string()
                             + ": the game cannot set up its sound buffers and does not start its audio"});
        return;
    }
    try {
        slots = BankSlotFile::Load(slotsPath);
    } catch (const FormatError &error) {
        setup.push_back({CheckFinding::Kind::SlotsDamaged, slotsPath, "", WithoutPlace(error.what(), slotsPath.filename().string())});
    }
}

std::vector<CheckFinding> SfxCheck::Check(const std::filesystem::path &package, const std::filesystem::path &file) const
{
    std::vector<CheckFinding> findings;
    const std::string name = package.filename().string();
    const std::string lookupName = lookupPath.filename().string();
    std::optional<BinaryFile> archive;
    const std::vector<std::size_t> records = OpenForCheck(
        package, file, *names, *lookup, lookupName, {"PakFiles.dat", "banks", "the game finds none of their sounds"}, archive, findings);
    if (records.empty())
        return findings;

    std::vector<Placement> placements;
    std::vector<std::string> labels;
    for (std::size_t b = 0; b < records.size(); ++b) {
        const LookupRecord record = lookup->Record(records[b]);
        labels.push_back("bank " + std::to_string(b + 1) + " (lookup record " + std::to_string(records[b]) + ")");
        placements.push_back({labels.back(), record.offset, std::uint64_t(record.offset) + BankHeader::Size + record.size});
    }
    const std::vector<bool> inside = FindPlacementsOutside(file, archive->Size(), lookupName, placements, findings);

    std::vector<std::optional<BankHeader>> banks(records.size());
    std::vector<CheckFinding> zeroBanks;
    std::size_t readable = 0;
    std::vector<unsigned char> header(BankHeader::Size);
    std::vector<Placement> placed;
    for (std::size_t b = 0; b < records.size(); ++b) {
        if (!inside[b])
            continue;
        placed.push_back(placements[b]);
        ++readable;
        const std::uint32_t size = lookup->Record(records[b]).size;
        try {
            archive->ReadAt(placements[b].offset, header.data(), header.size());
        } catch (const FormatError &error) {
            return {{CheckFinding::Kind::CouldNotCheck, file, labels[b], error.what()}};
        }
        if (AllZero(header.data(), header.size()) && size > 0) {
            zeroBanks.push_back({CheckFinding::Kind::ZeroFilled, file, labels[b],
                                 "holds only zeros where its sounds should be (a damaged copy): the game finds no sounds in it"});
            continue;
        }
        const std::string label = name + ", " + labels[b];
        try {
            Warnings ignored; // oddities the toolkit packs back as they should be
            banks[b] = BankHeader::Parse(header.data(), size, label, ignored);
        } catch (const FormatError &error) {
            findings.push_back({CheckFinding::Kind::HeaderRefused, file, labels[b],
                                WithoutPlace(error.what(), label) + "; the toolkit refuses this bank header, and the game reads its sounds wrongly"});
            continue;
        }
        if (banks[b]->sounds.empty())
            findings.push_back({CheckFinding::Kind::Empty, file, labels[b],
                                "holds no sounds: the game finds none of the sounds it asks this bank for"});
    }
    if (readable > 1 && zeroBanks.size() == readable)
        findings.push_back({CheckFinding::Kind::ZeroFilled, file, "",
                            "holds only zeros where its banks should be (a damaged copy): the game finds none of its sounds"});
    else
        findings.insert(findings.end(), zeroBanks.begin(), zeroBanks.end());
    FindOverlaps(file, placed, findings);

    CheckSlots(file, labels, banks, findings);
    // Grown sizes mean something only where every bank is read as the game reads it.
    if (std::all_of(banks.begin(), banks.end(), [](const std::optional<BankHeader> &bank) { return bank.has_value(); })) {
        std::vector<BankHeader> parsed;
        for (const std::optional<BankHeader> &bank : banks)
            parsed.push_back(*bank);
        CheckGrowthSinceKept(package, file, labels, parsed, findings);
    }
    return findings;
}

void SfxCheck::CheckSlots(const std::filesystem::path &file, const std::vector<std::string> &labels,
                          const std::vector<std::optional<BankHeader>> &banks, std::vector<CheckFinding> &findings) const
{
    if (!slots)
        return;
    std::uint32_t largest = 0;
    for (std::size_t slot = 0; slot < slots->Count(); ++slot)
        largest = std::max(largest, slots->SlotSize(slot));
    for (std::size_t b = 0; b < banks.size(); ++b)
        if (banks[b] && banks[b]->pcmSize > largest)
            findings.push_back({CheckFinding::Kind::LargerThanSlots, file, labels[b],
                                "holds " + std::to_string(banks[b]->pcmSize) + " bytes of sound, more than the largest slot of BankSlot.dat ("
                                    + std::to_string(largest) + " bytes): loaded whole, it overruns the sound buffer slots after it"});
}

void SfxCheck::CheckGrowthSinceKept(const std::filesystem::path &package, const std::filesystem::path &file,
                                    const std::vector<std::string> &labels, const std::vector<BankHeader> &banks,
                                    std::vector<CheckFinding> &findings) const
{
    const std::filesystem::path root = CommonFolder(package, lookupPath);
    const std::filesystem::path keptPackage = KeptOriginalOf(package, root);
    const std::filesystem::path keptLookup = KeptOriginalOf(lookupPath, root);
    if (!slots || !IsFile(keptPackage) || !IsFile(keptLookup))
        return;
    std::vector<BankHeader> kept;
    std::optional<BankSlotFile> keptSlots;
    try {
        kept = SfxPackage::ReadBanks(keptPackage, keptLookup);
        const std::filesystem::path keptSlotsPath = KeptOriginalOf(slots->Path(), root);
        if (IsFile(keptSlotsPath))
            keptSlots = BankSlotFile::Load(keptSlotsPath);
    } catch (const FormatError &error) {
        findings.push_back({CheckFinding::Kind::CouldNotCheck, keptPackage, "",
                            std::string("the kept original cannot be read, so grown sounds were not checked against their slots: ") + error.what()});
        return;
    }
    // Without a kept BankSlot.dat the slots never shrank since, so those that hold the old size
    // now held it then.
    const BankSlotFile &before = keptSlots && keptSlots->Count() == slots->Count() ? *keptSlots : *slots;
    const auto check = [&](const std::string &where, std::uint32_t old, std::uint32_t now) {
        if (now <= old)
            return;
        for (std::size_t slot = 0; slot < slots->Count(); ++slot) {
            if (before.SlotSize(slot) < old || slots->SlotSize(slot) >= now)
                continue;
            findings.push_back({CheckFinding::Kind::GrownPastSlot, file, where,
                                "grew from " + std::to_string(old) + " to " + std::to_string(now) + " bytes since the kept original, but slot "
                                    + std::to_string(slot + 1) + " of BankSlot.dat, which held its old size, holds "
                                    + std::to_string(slots->SlotSize(slot))
                                    + " bytes: loaded there, it overruns the slots after it (a tool packed it without growing BankSlot.dat)"});
            return;
        }
    };
    for (std::size_t b = 0; b < std::min(kept.size(), banks.size()); ++b) {
        check(labels[b], kept[b].pcmSize, banks[b].pcmSize);
        for (std::size_t s = 0; s < std::min(kept[b].sounds.size(), banks[b].sounds.size()); ++s)
            check(labels[b] + ", sound " + std::to_string(s + 1), kept[b].SoundBytes(s), banks[b].SoundBytes(s));
    }
}
}
