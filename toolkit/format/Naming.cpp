#include "format/Naming.h"

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
}
