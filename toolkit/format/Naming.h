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

class BinaryFile;
// Throws FormatError when file is a ZIP archive, as the mobile releases ship their audio,
// rather than the PC archive (kind, e.g. "SFX package") it should be.
void RejectZipArchive(BinaryFile &file, const std::string &kind);
}
