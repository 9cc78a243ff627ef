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
#include "format/Warnings.h"

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
    changed.insert(index);
}

void LookupFile::Replace(Warnings &warnings) const
{
    bool replaced = false;
    Write(replaced, warnings);
}

void LookupFile::Write(bool &replaced, Warnings &warnings) const
{
    // Another run may have rewritten the file since it was read (a tool that did not wait for
    // the save lock): its records must survive ours.
    const LookupFile current = Load(path);
    if (current.Count() != Count())
        throw FormatError(path.string() + " changed from " + std::to_string(Count()) + " to " + std::to_string(current.Count())
                          + " records while the archive was packed; nothing was changed");
    std::vector<unsigned char> merged = current.bytes;
    for (const std::size_t index : changed) {
        if (current.Record(index).archive != Record(index).archive)
            throw FormatError("record " + std::to_string(index) + " of " + path.string()
                              + " now belongs to another archive; nothing was changed");
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(index * RecordSize), RecordSize,
                    merged.begin() + static_cast<std::ptrdiff_t>(index * RecordSize));
    }

    // Both files are complete on the disk before either name changes. The records go first: a
    // failure before they stand leaves the backup of the save before as it was.
    AtomicFile updated(path, AtomicFile::Durability::Synced);
    updated.File().Write(merged.data(), merged.size());
    std::filesystem::path backupPath = path;
    backupPath += ".bak";
    AtomicFile backup(backupPath, AtomicFile::Durability::Synced);
    backup.File().Write(current.bytes.data(), current.bytes.size());
    PauseForTest("lookup");
    try {
        updated.Commit();
    } catch (...) {
        replaced = updated.Committed();
        throw;
    }
    replaced = true;
    try {
        backup.Commit();
    } catch (const std::exception &error) {
        warnings.Add("the previous " + path.filename().string() + " could not be kept as " + backupPath.filename().string()
                     + ": " + error.what());
    }
}

void LookupFile::ReplaceFor(const std::filesystem::path &newArchivePath, Warnings &warnings) const
{
    bool replaced = false;
    try {
        Write(replaced, warnings);
    } catch (...) {
        // Records that stand describe the new archive: it must stay to be swapped in.
        if (!replaced) {
            std::error_code ignored;
            std::filesystem::remove(newArchivePath, ignored);
        }
        throw;
    }
}
}
