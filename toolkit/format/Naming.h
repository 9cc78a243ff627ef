#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

namespace kivo
{
// "1" -> "001", "1000" -> "1000": numbers in section, key and file names have at least 3 digits.
std::string PaddedNumber(std::size_t number);

// Makes sure name can be the one folder an export creates in its target directory: not empty,
// not "." or "..", no separators or characters Windows forbids. Throws FormatError otherwise.
void CheckFolderName(const std::string &name, const std::string &origin);

// Creates folder and the ones above it that are missing; throws FormatError naming it.
void MakeFolder(const std::filesystem::path &folder);

// Throws FormatError naming the parent folder unless target is a folder, or one that unpacking
// can make (with MakeFolder) because its parent is.
void CheckTargetFolder(const std::filesystem::path &target);

// Throws FormatError unless name, a file name from the metafile at origin, stays inside the
// metafile's folder: not absolute, no drive, and no ".." that climbs above the folder ('/' and
// '\\' both count as separators, as they do for the program).
void CheckNameStaysInside(const std::string &name, const std::string &origin);

// Throws FormatError unless newArchivePath names the archive whose metafile gives basename: its
// file name is basename, or basename + ".new", ignoring case.
void CheckArchiveOfMetafile(const std::filesystem::path &newArchivePath, const std::string &basename,
                            const std::string &origin);

// The archive a pack into outputPath replaces: outputPath without its ".new" where it ends so
// (case resolved), else outputPath itself, when that is a plain file. Empty otherwise: an archive
// built afresh replaces nothing.
std::filesystem::path ReplacedArchive(const std::filesystem::path &outputPath);

class BinaryFile;
// Throws FormatError when file is a ZIP archive, as the mobile releases ship their audio,
// rather than the PC archive (kind, e.g. "SFX package") it should be.
void RejectZipArchive(BinaryFile &file, const std::string &kind);
}
