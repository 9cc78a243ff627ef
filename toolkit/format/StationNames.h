#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace kivo
{
// Stream pack names mapped to station names from "metadata-full.ini", the program's and the
// tools' one reading of it: a "stream = NAME" line followed by a "station = NAME" line pairs
// them; a later pair for the same stream wins. Lines end at "\n" and lose one "\r" before it.
class StationNames
{
public:
    // A file that cannot be opened gives no names; throws FormatError when it is far too large.
    static StationNames Load(const std::filesystem::path &path);
    // The pairs in text as the program decodes it (UTF-8).
    static StationNames Parse(std::string_view text);
    // The station name of stream, or stream itself when it has none.
    std::string FolderName(const std::string &stream) const;
    const std::map<std::string, std::string> &Pairs() const { return stations; }

private:
    std::map<std::string, std::string> stations;
};
}
