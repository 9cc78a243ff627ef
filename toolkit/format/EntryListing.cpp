#include "format/EntryListing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "format/FormatError.h"

namespace kivo
{
namespace
{
std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool IsHexDigits(const std::string &text, std::size_t count)
{
    if (text.size() != count)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// strtoll alone takes blanks, signs and trailing garbage.
bool ReadInteger(const std::string &text, long long low, long long high, long long &value)
{
    const std::size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digitsFrom || text.size() > 20)
        return false;
    for (std::size_t i = digitsFrom; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    errno = 0;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return errno == 0 && value >= low && value <= high;
}
}

std::string ListedEntry::Line() const
{
    std::string line = name + '\t' + std::to_string(size) + '\t' + checksum;
    if (bSound)
        line += '\t' + std::to_string(loop);
    return line + '\n';
}

void PrintListing(const std::vector<ListedEntry> &entries)
{
    std::string text;
    for (const ListedEntry &entry : entries)
        text += entry.Line();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        throw FormatError("the listing could not be written to standard output");
}

void RefuseOutputOverInput(const std::filesystem::path &outputPath, const std::vector<std::filesystem::path> &inputs)
{
    for (const std::filesystem::path &input : inputs) {
        std::error_code error;
        if (std::filesystem::equivalent(outputPath, input, error))
            throw FormatError(outputPath.string() + " is an input of this run and cannot be the output file");
    }
}

std::vector<ListedEntry> ParseListing(const std::string &text)
{
    std::vector<ListedEntry> entries;
    std::size_t lineNumber = 0;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = text.find('\n', from);
        ++lineNumber;
        if (end == std::string::npos)
            throw FormatError("line " + std::to_string(lineNumber) + " of the listing is cut off");
        const std::vector<std::string> fields = Fields(text.substr(from, end - from));
        from = end + 1;
        ListedEntry entry;
        long long size = 0;
        long long loop = -1;
        entry.bSound = fields.size() == 4;
        const bool bRead = (fields.size() == 3 || fields.size() == 4) && !fields[0].empty()
                        && ReadInteger(fields[1], 0, 0x1FFFFFFFFll, size) && IsHexDigits(fields[2], 16)
                        && (!entry.bSound || ReadInteger(fields[3], -2147483648ll, 2147483647ll, loop));
        if (!bRead)
            throw FormatError("line " + std::to_string(lineNumber) + " of the listing is not an entry");
        entry.name = fields[0];
        entry.size = static_cast<std::uint64_t>(size);
        entry.checksum = fields[2];
        entry.loop = static_cast<std::int32_t>(loop);
        entries.push_back(entry);
    }
    return entries;
}
}
