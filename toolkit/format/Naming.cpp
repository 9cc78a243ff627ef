#include "format/Naming.h"

#include <cstring>
#include <system_error>

#include "format/BinaryFile.h"
#include "format/FormatError.h"

namespace kivo
{
std::string PaddedNumber(std::size_t number)
{
    std::string digits = std::to_string(number);
    if (digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return digits;
}

void CheckFolderName(const std::string &name, const std::string &origin)
{
    const bool special = name.empty() || name == "." || name == "..";
    bool forbidden = false;
    for (const char c : name)
        forbidden = forbidden || static_cast<unsigned char>(c) < 0x20 || std::string("/\\:*?\"<>|").find(c) != std::string::npos;
    if (special || forbidden)
        throw FormatError("\"" + name + "\" (" + origin + ") cannot be the name of a folder in the target directory");
}

void MakeFolder(const std::filesystem::path &folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw FormatError("cannot create the folder " + folder.string() + ": " + error.message());
}

void RejectZipArchive(BinaryFile &file, const std::string &kind)
{
    unsigned char magic[4] = {};
    if (file.Size() < sizeof magic)
        return;
    file.ReadAt(0, magic, sizeof magic);
    if (std::memcmp(magic, "PK\x03\x04", 4) == 0)
        throw FormatError(file.Path().string() + " is a ZIP archive (mobile release audio), not a PC " + kind);
}
}
