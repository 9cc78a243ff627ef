#pragma once
#include <filesystem>
#include <map>
#include <string>

namespace kivo
{
// Stream pack names mapped to station names, read from "metadata-full.ini" exactly as the
// program reads it: a "stream = NAME" line followed by a "station = NAME" line pairs them.
class StationNames
{
public:
    // A file that cannot be opened gives no names, as it does in the program.
    static StationNames Load(const std::filesystem::path &path);
    // The station name of stream, or stream itself when it has none.
    std::string FolderName(const std::string &stream) const;

private:
    std::map<std::string, std::string> stations;
};
}
