#include "format/PathCase.h"

#include <optional>
#include <string>

#include "format/FormatError.h"

namespace kivo
{
namespace
{
char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(const std::string &first, const std::string &second)
{
    if (first.size() != second.size())
        return false;
    for (std::size_t i = 0; i < first.size(); ++i)
        if (FoldAscii(first[i]) != FoldAscii(second[i]))
            return false;
    return true;
}

// The entry itself counts, not what a link points to: a dangling link still holds the name.
bool EntryExists(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

bool IsFixedPart(const std::filesystem::path &part)
{
    return part.empty() || part == "." || part == ".." || part == part.root_name() || part == part.root_directory();
}

std::optional<std::string> MatchInFolder(const std::filesystem::path &folder, const std::string &name)
{
    const std::filesystem::path listed = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code error;
    std::filesystem::directory_iterator entry(listed, error);
    std::optional<std::string> found;
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string candidate = entry->path().filename().string();
        if (!SameIgnoringCase(candidate, name))
            continue;
        if (found)
            throw FormatError((folder / *found).string() + " and " + (folder / candidate).string()
                              + " differ only in case; it is unclear which one " + name + " means");
        found = candidate;
    }
    return found;
}
}

std::filesystem::path ResolvePathCase(const std::filesystem::path &path)
{
    if (path.empty() || EntryExists(path))
        return path;
    std::filesystem::path resolved;
    bool bMatching = true;
    for (const std::filesystem::path &part : path) {
        const std::filesystem::path asGiven = resolved / part;
        if (!bMatching || IsFixedPart(part) || EntryExists(asGiven)) {
            resolved = asGiven;
            continue;
        }
        const std::optional<std::string> match = MatchInFolder(resolved, part.string());
        bMatching = match.has_value();
        resolved = match ? resolved / *match : asGiven;
    }
    return resolved;
}
}
