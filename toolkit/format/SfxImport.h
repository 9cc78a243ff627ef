#pragma once
#include <filesystem>

namespace kivo
{
class Warnings;

// Packs the folder of an unpacked SFX package back: reads "sfx_import.ini" and the sounds it
// names, writes the new package to newPackagePath, and then points this package's records of the
// bank lookup file at the new banks (keeping the old file as "<lookup>.bak"). The lookup file is
// touched only after the package is complete; on any failure neither file changes. Sounds that
// are not mono 16-bit are converted; a bank that grows beyond its previous size is warned about.
void ImportSfxPackage(const std::filesystem::path &newPackagePath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings);
}
