#include "format/NameTable.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "format/BinaryFile.h"
#include "format/FormatError.h"

namespace kivo
{
NameTable NameTable::Load(const std::filesystem::path &path, std::size_t recordSize)
{
    BinaryFile file(path, BinaryFile::Mode::Read);
    const std::string where = path.filename().string();
    if (file.Size() % recordSize != 0)
        throw FormatError(where + " is " + std::to_string(file.Size()) + " bytes, not a whole number of "
                          + std::to_string(recordSize) + "-byte records");
    if (file.Size() / recordSize > MaxRecords)
        throw FormatError(where + " holds more than " + std::to_string(MaxRecords) + " names");

    std::vector<char> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadAt(0, bytes.data(), bytes.size());
    NameTable table;
    for (std::size_t record = 0; record * recordSize < bytes.size(); ++record) {
        const char *begin = bytes.data() + record * recordSize;
        const char *end = std::find(begin, begin + recordSize, '\0');
        if (end == begin + recordSize)
            throw FormatError(where + ": the name in record " + std::to_string(record) + " has no terminating NUL");
        table.names.emplace_back(begin, end);
    }
    return table;
}

int NameTable::Find(const std::string &name) const
{
    if (name.empty())
        return -1;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    const auto sameIgnoringCase = [&name](const std::string &other) {
        return other.size() == name.size()
            && std::equal(other.begin(), other.end(), name.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               });
    };
    for (std::size_t i = 0; i < names.size(); ++i)
        if (sameIgnoringCase(names[i]))
            return static_cast<int>(i);
    return -1;
}

unsigned ResolveArchiveIndex(const std::filesystem::path &tablePath, std::size_t recordSize,
                             const std::string &basename, long long metafileIndex)
{
    const std::string tableName = tablePath.filename().string();
    std::error_code error;
    if (std::filesystem::exists(tablePath, error)) {
        const int found = NameTable::Load(tablePath, recordSize).Find(basename);
        if (found < 0)
            throw FormatError("\"" + basename + "\" is not listed in " + tablePath.string());
        if (metafileIndex >= 0 && metafileIndex != found)
            throw FormatError("the metafile gives \"" + basename + "\" the lookup_index " + std::to_string(metafileIndex)
                              + ", but " + tableName + " lists it at " + std::to_string(found));
        return static_cast<unsigned>(found);
    }
    if (metafileIndex >= 0 && metafileIndex < static_cast<long long>(NameTable::MaxRecords))
        return static_cast<unsigned>(metafileIndex);
    throw FormatError(tableName + " was not found beside the lookup file, and the metafile gives no usable lookup_index for \""
                      + basename + "\"");
}
}
