#include "format/Naming.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <system_error>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/PathCase.h"

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

void CheckTargetFolder(const std::filesystem::path &target)
{
    std::error_code error;
    if (std::filesystem::is_directory(target, error))
        return;
    std::filesystem::path folder = std::filesystem::absolute(target, error).lexically_normal();
    if (!folder.has_filename()) // "target/"
        folder = folder.parent_path();
    const std::filesystem::path parent = folder.parent_path();
    if (!std::filesystem::is_directory(parent, error))
        throw FormatError("the target directory " + target.string() + " cannot be made: the folder " + parent.string()
                          + " does not exist");
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

void CheckNameStaysInside(const std::string &name, const std::string &origin)
{
    const bool absolute = (!name.empty() && (name[0] == '/' || name[0] == '\\'))
                       || (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])));
    int depth = 0;
    std::size_t start = 0;
    while (!absolute && depth >= 0 && start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        const std::string_view part(name.data() + start, end - start);
        if (part == "..")
            --depth;
        else if (!part.empty() && part != ".")
            ++depth;
        start = end + 1;
    }
    if (absolute || depth < 0)
        throw FormatError(origin + " names \"" + name + "\", which lies outside its folder");
}

void CheckArchiveOfMetafile(const std::filesystem::path &newArchivePath, const std::string &basename,
                            const std::string &origin)
{
    const auto sameIgnoringCase = [](const std::string &a, const std::string &b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
               });
    };
    const std::string fileName = newArchivePath.filename().string();
    if (!sameIgnoringCase(fileName, basename) && !sameIgnoringCase(fileName, basename + ".new"))
        throw FormatError(origin + " belongs to " + basename + ", not to " + fileName);
}

std::filesystem::path ReplacedArchive(const std::filesystem::path &outputPath)
{
    std::string name = outputPath.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    std::filesystem::path replaced = outputPath;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0)
        replaced = ResolvePathCase(replaced.replace_extension());
    std::error_code error;
    return std::filesystem::is_regular_file(replaced, error) ? replaced : std::filesystem::path();
}
}
