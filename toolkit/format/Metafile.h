#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>

namespace kivo
{
// An INI metafile ("sfx_import.ini", "stream_import.ini") read by exactly the program's rules:
// decoded as the program decodes text, every "\r" dropped, "[name]" headers taken as they stand,
// "key = value" lines split at the first "=" and trimmed of Unicode blanks, a later key
// overriding an earlier one, sections of the same name merged, everything else ignored. Keys
// before the first header belong to it, and a header without keys hands them on to the next;
// a file without headers has only the unnamed section, "".
class Metafile
{
public:
    using Section = std::unordered_map<std::string, std::string>;

    // Throws FormatError when the file cannot be read or is implausibly large for a metafile.
    static Metafile Load(const std::filesystem::path &path);

    const std::filesystem::path &Path() const { return path; }
    // Whether the section exists and holds a key: nothing can be packed from an empty one.
    bool HasSection(const std::string &section) const;
    // nullptr when there is no such section; "" is the unnamed one.
    const Section *FindSection(const std::string &section) const;
    // The sections under a header, by name.
    const std::map<std::string, Section> &Sections() const { return sections; }
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
    std::map<std::string, Section> sections;
    Section unnamed;
};
}
