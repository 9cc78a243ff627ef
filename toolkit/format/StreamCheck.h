#pragma once
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "format/CheckFinding.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"

namespace kivo
{
// Checks stream packs against the track lookup file beside StrmPaks.dat: every track a record
// points at, judged by its header's length, never the record's size field (whose meaning
// varies), and its Vorbis headers. Reads only headers and writes nothing. Owns the tables.
class StreamCheck
{
public:
    // Loads the lookup file and StrmPaks.dat; Valid() is false when they cannot be read, and
    // Setup() says why.
    explicit StreamCheck(const std::filesystem::path &lookupPath);

    bool Valid() const { return lookup.has_value() && names.has_value(); }
    const std::vector<CheckFinding> &Setup() const { return setup; }

    // The findings of pack (named so in StrmPaks.dat), read from file: the pack itself or a
    // "<pack>.new" standing in for it.
    std::vector<CheckFinding> Check(const std::filesystem::path &pack, const std::filesystem::path &file) const;

private:
    std::filesystem::path lookupPath;
    std::optional<LookupFile> lookup;
    std::optional<NameTable> names;
    std::vector<CheckFinding> setup;
    // Vorbis setup headers that parsed in any pack so far: one encoder gives every track of a
    // game the same one, and unpacking it costs more than the rest of a track's check.
    mutable std::set<std::string, std::less<>> knownSetups;
};
}
