#include "format/StationNames.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "format/FormatError.h"
#include "format/TextDecoding.h"

namespace kivo
{
namespace
{
constexpr std::uintmax_t maxStationFileBytes = 16u * 1024 * 1024;
}

StationNames StationNames::Load(const std::filesystem::path &path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > maxStationFileBytes)
        throw FormatError(path.string() + " is too large for a station-name file");
    // A pipe in its place would never end.
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error))
        throw FormatError(path.string() + " is not a plain file");
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return Parse(DecodedText(bytes));
}

StationNames StationNames::Parse(std::string_view text)
{
    constexpr std::string_view streamPrefix = "stream = ";
    constexpr std::string_view stationPrefix = "station = ";
    StationNames names;
    std::string_view pending;
    bool bPending = false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.substr(0, streamPrefix.size()) == streamPrefix) {
            pending = line.substr(streamPrefix.size());
            bPending = true;
        } else if (bPending && line.substr(0, stationPrefix.size()) == stationPrefix) {
            names.stations[std::string(pending)] = std::string(line.substr(stationPrefix.size()));
            bPending = false;
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
