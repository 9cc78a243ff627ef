#include "format/StationNames.h"

#include <fstream>
#include <system_error>

#include "format/FormatError.h"

namespace kivo
{
namespace
{
constexpr std::uintmax_t maxStationFileBytes = 16u * 1024 * 1024;
}

StationNames StationNames::Load(const std::filesystem::path &path)
{
    StationNames names;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > maxStationFileBytes)
        throw FormatError(path.string() + " is too large for a station-name file");
    std::ifstream file(path, std::ios::binary);
    const std::string streamPrefix = "stream = ";
    const std::string stationPrefix = "station = ";
    std::string line;
    std::string pending;
    bool isPending = false;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, streamPrefix.size(), streamPrefix) == 0) {
            pending = line.substr(streamPrefix.size());
            isPending = true;
        } else if (isPending && line.compare(0, stationPrefix.size(), stationPrefix) == 0) {
            names.stations[pending] = line.substr(stationPrefix.size());
            isPending = false;
        }
    }
    return names;
}

std::string StationNames::FolderName(const std::string &stream) const
{
    const auto found = stations.find(stream);
    return found == stations.end() ? stream : found->second;
}
}
