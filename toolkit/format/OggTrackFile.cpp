#include "format/OggTrackFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LittleEndian.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
constexpr std::size_t pageHeaderSize = 27;
constexpr std::size_t maxPageSize = pageHeaderSize + 255 + 255 * 255;
constexpr unsigned char beginningOfStream = 0x02;

std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        table[i] = r;
    }
    return table;
}

// The checksum of an Ogg page, taken with its own checksum field counted as zero.
std::uint32_t PageChecksum(const unsigned char *page, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = MakeCrcTable();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = (i >= 22 && i < 26) ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) & 0xFF) ^ byte];
    }
    return crc;
}
}

std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings)
{
    BinaryFile file(path, BinaryFile::Mode::Read);
    const std::uint64_t size = file.Size();
    std::vector<unsigned char> page(static_cast<std::size_t>(std::min<std::uint64_t>(size, maxPageSize)));
    file.ReadAt(0, page.data(), page.size());
    if (page.size() < pageHeaderSize || std::memcmp(page.data(), "OggS", 4) != 0)
        throw FormatError(label + " is not an Ogg Vorbis file");

    const std::size_t segments = page[26];
    std::size_t body = 0;
    if (pageHeaderSize + segments <= page.size())
        for (std::size_t i = 0; i < segments; ++i)
            body += page[pageHeaderSize + i];
    const std::size_t pageSize = pageHeaderSize + segments + body;
    const unsigned char *packet = page.data() + pageHeaderSize + segments;
    const bool wellFormed = page[4] == 0 && (page[5] & beginningOfStream) && pageSize <= page.size()
                         && le::U32(page.data() + 22) == PageChecksum(page.data(), pageSize);
    if (!wellFormed)
        throw FormatError(label + " is not a readable Ogg Vorbis file (its first page is damaged)");
    if (body < 30 || packet[0] != 0x01 || std::memcmp(packet + 1, "vorbis", 6) != 0)
        throw FormatError(label + " is an Ogg file but does not hold Vorbis audio");
    const unsigned channels = packet[11];
    const std::uint32_t rate = le::U32(packet + 12);
    if (le::U32(packet + 7) != 0 || channels == 0 || rate == 0)
        throw FormatError(label + " is not a readable Ogg Vorbis file (its Vorbis header is damaged)");
    if (channels != 2 || (rate != 32000 && rate != 24000))
        warnings.Add(label + " is " + std::to_string(channels) + "-channel Vorbis at " + std::to_string(rate)
                     + " Hz; the game's own tracks are stereo at 32000 Hz, other variants are untested in the game");
    return size;
}

bool OggPageWalker::Feed(const unsigned char *data, std::size_t size)
{
    while (size > 0) {
        if (bodyLeft > 0) {
            const std::size_t skipped = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft, size));
            bodyLeft -= skipped;
            data += skipped;
            size -= skipped;
            continue;
        }
        const std::size_t wanted = headerBytes < pageHeaderSize ? pageHeaderSize : pageHeaderSize + header[26];
        const std::size_t taken = std::min(wanted - headerBytes, size);
        std::memcpy(header + headerBytes, data, taken);
        headerBytes += taken;
        data += taken;
        size -= taken;
        if (headerBytes == pageHeaderSize && (std::memcmp(header, "OggS", 4) != 0 || header[4] != 0))
            return false;
        if (headerBytes >= pageHeaderSize && headerBytes == pageHeaderSize + header[26]) {
            for (std::size_t i = 0; i < header[26]; ++i)
                bodyLeft += header[pageHeaderSize + i];
            headerBytes = 0;
            ++pages;
        }
    }
    return true;
}
}
