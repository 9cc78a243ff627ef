#include "format/ArchiveFigures.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "format/BinaryFile.h"
#include "format/OggTrackFile.h"

namespace kivo
{
namespace
{
const char *const lineStart = "new archive: ";
}

ArchiveFigures ArchiveFigures::Of(const std::filesystem::path &file)
{
    constexpr std::size_t chunk = 1024 * 1024;
    BinaryFile in(file, BinaryFile::Mode::Read);
    // Not the tools' shared scratch buffer: the program reads archives here too.
    std::vector<unsigned char> buffer(chunk);
    TrackChecksum checksum;
    for (std::size_t got; (got = in.ReadSome(buffer.data(), chunk)) != 0;)
        checksum.Feed(buffer.data(), got);
    return {in.Size(), checksum.Text()};
}

std::string ArchiveFigures::Text() const
{
    return lineStart + std::to_string(size) + " bytes, checksum " + checksum;
}

std::optional<ArchiveFigures> ArchiveFigures::Parse(const std::string &text)
{
    std::optional<ArchiveFigures> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        unsigned long long size = 0;
        char checksum[17] = {};
        if (line.rfind(lineStart, 0) == 0
            && std::sscanf(line.c_str() + std::char_traits<char>::length(lineStart), "%llu bytes, checksum %16[0-9a-f]", &size, checksum) == 2
            && std::char_traits<char>::length(checksum) == 16)
            found = ArchiveFigures{size, checksum};
    }
    return found;
}
}
