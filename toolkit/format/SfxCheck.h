#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "format/BankSlotFile.h"
#include "format/CheckFinding.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"

namespace kivo
{
class BankHeader;

// Checks SFX packages against the bank lookup file and BankSlot.dat beside it, reading only the
// headers, and writing nothing. Owns the tables it loaded once for all packages.
class SfxCheck
{
public:
    // Loads the lookup file, PakFiles.dat and BankSlot.dat beside it; what is wrong with them is
    // in Setup(). Valid() is false when the packages cannot be checked at all.
    explicit SfxCheck(const std::filesystem::path &lookupPath);

    bool Valid() const { return lookup.has_value() && names.has_value(); }
    const std::vector<CheckFinding> &Setup() const { return setup; }

    // The findings of package (named so in PakFiles.dat), read from file: the package itself or
    // a "<package>.new" standing in for it.
    std::vector<CheckFinding> Check(const std::filesystem::path &package, const std::filesystem::path &file) const;

private:
    void CheckSlots(const std::filesystem::path &file, const std::vector<std::string> &labels,
                    const std::vector<std::optional<BankHeader>> &banks, std::vector<CheckFinding> &findings) const;
    void CheckGrowthSinceKept(const std::filesystem::path &package, const std::filesystem::path &file,
                              const std::vector<std::string> &labels, const std::vector<BankHeader> &banks,
                              std::vector<CheckFinding> &findings) const;

    std::filesystem::path lookupPath;
    std::optional<LookupFile> lookup;
    std::optional<NameTable> names;
    std::optional<BankSlotFile> slots;
    std::vector<CheckFinding> setup;
};

// Where the program keeps the game's original of gameFile, which lies below root (the folder
// holding both the archive and its lookup file): the same path below "root/RozivOze originals".
std::filesystem::path KeptOriginalOf(const std::filesystem::path &gameFile, const std::filesystem::path &root);
// The nearest folder that holds both files.
std::filesystem::path CommonFolder(const std::filesystem::path &first, const std::filesystem::path &second);
}
