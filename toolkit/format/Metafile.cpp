#include "format/Metafile.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "format/BinaryFile.h"
#include "format/FormatError.h"

namespace kivo
{
namespace
{
// Far beyond any real metafile (218 banks of 400 sounds fit in a few MB); keeps a wrong file
// from being read into memory whole.
constexpr std::uint64_t maxMetafileBytes = 64u * 1024 * 1024;

std::string_view Trimmed(std::string_view text)
{
    const char *blanks = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
}

Metafile Metafile::Load(const std::filesystem::path &filePath)
{
    BinaryFile file(filePath, BinaryFile::Mode::Read);
    if (file.Size() > maxMetafileBytes)
        throw FormatError(filePath.string() + " is too large for a metafile");
    std::string text(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadAt(0, text.data(), text.size());

    Metafile metafile;
    metafile.path = filePath;
    auto *current = &metafile.sections[std::string()];
    const std::string_view all(text);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view line = all.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &metafile.sections[std::string(line.substr(1, line.size() - 2))];
            continue;
        }
        const auto separator = line.find('=');
        if (separator == std::string_view::npos)
            continue;
        const std::string_view key = Trimmed(line.substr(0, separator));
        if (!key.empty())
            (*current)[std::string(key)] = std::string(Trimmed(line.substr(separator + 1)));
    }
    return metafile;
}

bool Metafile::HasSection(const std::string &section) const
{
    const auto found = sections.find(section);
    return found != sections.end() && !found->second.empty();
}

const std::string *Metafile::Find(const std::string &section, const std::string &key) const
{
    const auto foundSection = sections.find(section);
    if (foundSection == sections.end())
        return nullptr;
    const auto foundKey = foundSection->second.find(key);
    return foundKey == foundSection->second.end() ? nullptr : &foundKey->second;
}

const std::string &Metafile::Text(const std::string &section, const std::string &key) const
{
    const std::string *value = Find(section, key);
    if (!value)
        Fail(section, key, "is missing");
    return *value;
}

long long Metafile::Integer(const std::string &section, const std::string &key) const
{
    const std::string &value = Text(section, key);
    errno = 0;
    char *end = nullptr;
    const long long number = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno == ERANGE)
        Fail(section, key, "= \"" + value + "\" is not a whole number");
    return number;
}

long long Metafile::Integer(const std::string &section, const std::string &key, long long fallback) const
{
    return Find(section, key) ? Integer(section, key) : fallback;
}

long long Metafile::Integer(const std::string &section, const std::string &key, long long fallback, long long low,
                            long long high) const
{
    const long long number = Integer(section, key, fallback);
    if (number < low || number > high)
        Fail(section, key, "= " + std::to_string(number) + " is outside " + std::to_string(low) + " to "
                               + std::to_string(high));
    return number;
}

void Metafile::Fail(const std::string &section, const std::string &key, const std::string &problem) const
{
    throw FormatError(path.string() + ": [" + section + "] " + key + " " + problem);
}
}
