#pragma once
#include <filesystem>

#include "format/ArchiveFigures.h"

namespace kivo
{
class Warnings;

// Packs the folder of an unpacked SFX package back: reads "sfx_import.ini" and the sounds it
// names, writes the new package to newPackagePath, and then points this package's records of the
// bank lookup file at the new banks (keeping the old file as "<lookup>.bak"). The lookup file is
// touched only after the package is complete; on any failure neither file changes. Sounds that
// are not mono 16-bit are converted. When a bank or sound grows beyond its size in the package
// replaced, the game's sound buffer slots (BankSlot.dat beside the lookup file) grow to hold it,
// before the lookup file is touched, keeping the old file as "BankSlot.dat.bak". The package
// replaced is ReplacedArchive(newPackagePath). Returns the new package's figures.
ArchiveFigures ImportSfxPackage(const std::filesystem::path &newPackagePath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings);
}
