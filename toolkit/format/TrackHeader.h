#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivo
{
class Warnings;

struct Beat
{
    std::int32_t timeMs = -1;
    std::int32_t control = 0;
};

// The decoded header in front of each track of a stream pack: a beat table, eight length
// slots of which one holds {Ogg length, extra word}, and a fixed trailer. Everything else in
// it is fill, regenerated on writing, so a header is rebuilt exactly from these fields.
class TrackHeader
{
public:
    static constexpr std::size_t Size = 8068;
    static constexpr std::size_t MaxBeats = 1000;
    static constexpr std::size_t LengthSlots = 8;

    // Checks a decoded header followed by remaining bytes of the pack. Throws FormatError
    // (starting with where) when it is damaged or not a PC track header.
    static TrackHeader Parse(const unsigned char *bytes, std::uint64_t remaining, const std::string &where,
                             Warnings &warnings);
    // Size decoded bytes.
    void Serialise(unsigned char *bytes) const;

    std::vector<Beat> beats;        // the used entries, which come first in the table
    unsigned lengthIndex = 0;
    std::uint32_t oggLength = 0;
    std::uint32_t lengthExtra = 0;  // opaque; kept as read
};
}
