#include "format/TrackHeader.h"

#include <algorithm>
#include <cstring>

#include "format/FormatError.h"
#include "format/LittleEndian.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
constexpr std::size_t slotsOffset = 8000;
constexpr std::size_t trailerOffset = 8064;
constexpr unsigned char trailer[4] = {0x01, 0x00, 0xCD, 0xCD};
constexpr unsigned char fill = 0xCD;

bool IsUnusedBeat(const unsigned char *entry)
{
    return le::I32(entry) == -1 && le::I32(entry + 4) == 0;
}
}

TrackHeader TrackHeader::Parse(const unsigned char *bytes, std::uint64_t remaining, const std::string &where,
                               Warnings &warnings)
{
    if (std::memcmp(bytes + trailerOffset, trailer, sizeof trailer) != 0)
        throw FormatError(where + ": the track header is damaged (its closing bytes are wrong)");

    TrackHeader header;
    int filledSlots = 0;
    for (unsigned slot = 0; slot < LengthSlots; ++slot) {
        const unsigned char *entry = bytes + slotsOffset + slot * 8;
        if (std::all_of(entry, entry + 8, [](unsigned char b) { return b == fill; }))
            continue;
        ++filledSlots;
        header.lengthIndex = slot;
        header.oggLength = le::U32(entry);
        header.lengthExtra = le::U32(entry + 4);
    }
    if (filledSlots != 1)
        throw FormatError(where + ": the track header has " + std::to_string(filledSlots)
                          + " length entries instead of one");
    if (header.oggLength == 0 || header.oggLength > remaining)
        throw FormatError(where + ": the track claims " + std::to_string(header.oggLength) + " bytes of Ogg data, but "
                          + std::to_string(remaining) + " bytes follow its header");

    std::size_t used = 0;
    while (used < MaxBeats && !IsUnusedBeat(bytes + used * 8))
        ++used;
    // The entry at used is unused; so is every one after it when each equals the next, which one
    // comparison of the rest with itself moved by an entry tells (a check reads every track's header).
    const std::size_t rest = used < MaxBeats ? (MaxBeats - used - 1) * 8 : 0;
    if (rest > 0 && std::memcmp(bytes + used * 8, bytes + used * 8 + 8, rest) != 0)
        for (std::size_t i = used; i < MaxBeats; ++i)
            if (!IsUnusedBeat(bytes + i * 8))
                throw FormatError(where + ": the beat table has a gap before entry " + std::to_string(i + 1));
    header.beats.resize(used);
    for (std::size_t i = 0; i < used; ++i) {
        header.beats[i] = {le::I32(bytes + i * 8), le::I32(bytes + i * 8 + 4)};
        if (i > 0 && header.beats[i].timeMs < header.beats[i - 1].timeMs)
            warnings.Add(where + ": beat times are not ascending at entry " + std::to_string(i + 1));
    }
    return header;
}

void TrackHeader::Serialise(unsigned char *bytes) const
{
    for (std::size_t i = 0; i < MaxBeats; ++i) {
        const Beat beat = i < beats.size() ? beats[i] : Beat{};
        le::PutI32(bytes + i * 8, beat.timeMs);
        le::PutI32(bytes + i * 8 + 4, beat.control);
    }
    std::memset(bytes + slotsOffset, fill, LengthSlots * 8);
    le::PutU32(bytes + slotsOffset + lengthIndex * 8, oggLength);
    le::PutU32(bytes + slotsOffset + lengthIndex * 8 + 4, lengthExtra);
    std::memcpy(bytes + trailerOffset, trailer, sizeof trailer);
}
}
