#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>

namespace kivo
{
// An INI metafile ("sfx_import.ini", "stream_import.ini") as the program reads it: "[name]"
// headers taken as they stand, "key = value" lines split at the first "=" and trimmed, a later
// key overriding an earlier one, sections of the same name merged, everything else ignored.
class Metafile
{
public:
    // Throws FormatError when the file cannot be read or is implausibly large for a metafile.
    static Metafile Load(const std::filesystem::path &path);

    const std::filesystem::path &Path() const { return path; }
    bool HasSection(const std::string &section) const;
    // nullptr when the section or the key is missing.
    const std::string *Find(const std::string &section, const std::string &key) const;
    // The value; throws FormatError naming the key when it is missing.
    const std::string &Text(const std::string &section, const std::string &key) const;
    // A whole decimal number; throws FormatError when missing or malformed.
    long long Integer(const std::string &section, const std::string &key) const;
    // As above, but fallback when the key is missing.
    long long Integer(const std::string &section, const std::string &key, long long fallback) const;
    // A number that must lie in [low, high]; fallback when missing.
    long long Integer(const std::string &section, const std::string &key, long long fallback, long long low,
                      long long high) const;

private:
    [[noreturn]] void Fail(const std::string &section, const std::string &key, const std::string &problem) const;

    std::filesystem::path path;
    // Hashed: a package's metafile has thousands of keys, all looked up while packing.
    std::map<std::string, std::unordered_map<std::string, std::string>> sections;
};
}
