#pragma once
#include <filesystem>

#include "format/ArchiveFigures.h"

namespace kivo
{
class Warnings;

// Packs the folder of an unpacked stream pack back: reads "stream_import.ini" and the Ogg Vorbis
// files it names, writes the encoded pack to newPackPath, and then points this pack's records of
// the track lookup file at the new tracks (keeping the old file as "<lookup>.bak"). The lookup
// file is touched only after the pack is complete; on any failure neither file changes. The pack
// replaced is ReplacedArchive(newPackPath). Returns the new pack's figures.
ArchiveFigures ImportStreamPack(const std::filesystem::path &newPackPath, const std::filesystem::path &metafilePath,
                      const std::filesystem::path &lookupPath, Warnings &warnings);
}
