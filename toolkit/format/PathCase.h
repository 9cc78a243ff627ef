#pragma once
#include <filesystem>

namespace kivo
{
// Finds what a path names on a case-sensitive file system when its names were written for one
// that ignores case, as configuration files and command lines made for the game on Windows are.
// Returns the path itself when it exists. Otherwise it goes part by part: a part that exists is
// kept; one that does not is replaced by the one entry of its folder whose name differs from it
// only in (ASCII) case; from the first part that matches nothing on, the rest is kept as given,
// so a file about to be written keeps its own name inside the folders that exist.
// Throws FormatError naming both entries when two entries of a folder match a part.
std::filesystem::path ResolvePathCase(const std::filesystem::path &path);
}
