#include "format/LookupFile.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LittleEndian.h"
#include "format/TestPause.h"

namespace kivo
{
LookupFile LookupFile::Load(const std::filesystem::path &filePath)
{
    BinaryFile file(filePath, BinaryFile::Mode::Read);
    const std::string where = filePath.filename().string();
    if (file.Size() % RecordSize != 0)
        throw FormatError(where + " is " + std::to_string(file.Size()) + " bytes, not a whole number of 12-byte records");
    if (file.Size() / RecordSize > MaxRecords)
        throw FormatError(where + " holds more than " + std::to_string(MaxRecords) + " records");

    LookupFile lookup;
    lookup.path = filePath;
    lookup.bytes.resize(static_cast<std::size_t>(file.Size()));
    file.ReadAt(0, lookup.bytes.data(), lookup.bytes.size());
    lookup.original = lookup.bytes;
    return lookup;
}

void LookupFile::RefuseOtherKind(const std::filesystem::path &filePath, const std::string &otherName)
{
    const std::string name = filePath.filename().string();
    const bool same = name.size() == otherName.size()
                   && std::equal(name.begin(), name.end(), otherName.begin(), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                      });
    if (same)
        throw FormatError(filePath.string() + " is the wrong lookup file for this tool; check the archive's line in configuration.ini");
}

LookupRecord LookupFile::Record(std::size_t index) const
{
    const unsigned char *record = bytes.data() + index * RecordSize;
    return {record[0], le::U32(record + 4), le::U32(record + 8)};
}

std::vector<std::size_t> LookupFile::RecordsOf(unsigned archive) const
{
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < Count(); ++i)
        if (bytes[i * RecordSize] == archive)
            found.push_back(i);
    return found;
}

void LookupFile::SetLocation(std::size_t index, std::uint32_t offset, std::uint32_t size)
{
    unsigned char *record = bytes.data() + index * RecordSize;
    le::PutU32(record + 4, offset);
    le::PutU32(record + 8, size);
}

void LookupFile::Replace() const
{
    AtomicFile updated(path);
    updated.File().Write(bytes.data(), bytes.size());
    PauseForTest("lookup");

    std::filesystem::path backupPath = path;
    backupPath += ".bak";
    AtomicFile backup(backupPath);
    backup.File().Write(original.data(), original.size());
    backup.Commit();
    updated.Commit();
}

void LookupFile::ReplaceFor(const std::filesystem::path &newArchivePath) const
{
    try {
        Replace();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(newArchivePath, ignored);
        throw;
    }
}
}
