#pragma once
#include <cstddef>
#include <string>

namespace kivo
{
// "1" -> "001", "1000" -> "1000": numbers in section, key and file names have at least 3 digits.
std::string PaddedNumber(std::size_t number);

// Makes sure name can be the one folder an export creates in its target directory: not empty,
// not "." or "..", no separators or characters Windows forbids. Throws FormatError otherwise.
void CheckFolderName(const std::string &name, const std::string &origin);
}
