#include "format/Metafile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/TextDecoding.h"

namespace kivo
{
namespace
{
// Far beyond any real metafile (218 banks of 400 sounds fit in a few MB); keeps a wrong file
// from being read into memory whole.
constexpr std::uint64_t maxMetafileBytes = 64u * 1024 * 1024;

// The blanks the program trims, in UTF-8: the ASCII ones, U+0085 and Unicode's space separators.
// The text is well-formed UTF-8, so a match at either end is a whole character.
constexpr std::string_view blanks[] = {
    " ", "\t", "\n", "\v", "\f", "\r", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80",
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",
    "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};

std::string_view Trimmed(std::string_view text)
{
    for (bool bCut = true; bCut;) {
        bCut = false;
        for (const std::string_view blank : blanks) {
            if (text.substr(0, blank.size()) == blank) {
                text.remove_prefix(blank.size());
                bCut = true;
            }
            if (text.size() >= blank.size() && text.substr(text.size() - blank.size()) == blank) {
                text.remove_suffix(blank.size());
                bCut = true;
            }
        }
    }
    return text;
}
}

Metafile Metafile::Load(const std::filesystem::path &filePath)
{
    BinaryFile file(filePath, BinaryFile::Mode::Read);
    if (file.Size() > maxMetafileBytes)
        throw FormatError(filePath.string() + " is too large for a metafile");
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadAt(0, bytes.data(), bytes.size());
    std::string text = DecodedText(bytes);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());

    Metafile metafile;
    metafile.path = filePath;
    Section current;
    std::string currentName;
    bool bHeaderSeen = false;
    const auto store = [&metafile](const std::string &name, Section &keys) {
        Section &stored = metafile.sections[name];
        for (auto &[key, value] : keys)
            stored[key] = std::move(value);
        keys.clear();
    };
    const std::string_view all(text);
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = std::min(all.find('\n', start), all.size());
        const std::string_view line = all.substr(start, end - start);
        start = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            // A header without keys before it hands them on to the next one.
            if (bHeaderSeen && !current.empty())
                store(currentName, current);
            currentName = std::string(line.substr(1, line.size() - 2));
            bHeaderSeen = true;
            continue;
        }
        const auto separator = line.find('=');
        if (separator == std::string_view::npos)
            continue;
        const std::string_view key = Trimmed(line.substr(0, separator));
        if (!key.empty())
            current[std::string(key)] = std::string(Trimmed(line.substr(separator + 1)));
    }
    if (bHeaderSeen)
        store(currentName, current);
    else
        metafile.unnamed = std::move(current);
    return metafile;
}

bool Metafile::HasSection(const std::string &section) const
{
    const auto found = sections.find(section);
    return found != sections.end() && !found->second.empty();
}

const Metafile::Section *Metafile::FindSection(const std::string &section) const
{
    if (section.empty())
        return sections.empty() ? &unnamed : nullptr;
    const auto found = sections.find(section);
    return found == sections.end() ? nullptr : &found->second;
}

const std::string *Metafile::Find(const std::string &section, const std::string &key) const
{
    const Section *keys = FindSection(section);
    if (!keys)
        return nullptr;
    const auto found = keys->find(key);
    return found == keys->end() ? nullptr : &found->second;
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
