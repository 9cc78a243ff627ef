#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivo
{
class Warnings;

struct SoundDescriptor
{
    std::uint32_t offset = 0;     // of the PCM, counted from the end of the bank header
    std::int32_t loop = -1;       // raw loop start, -1 for none; its unit is disputed, so it is kept as read
    std::uint16_t sampleRate = 0;
    std::int16_t headroom = 0;    // "unknown_16" in the metafile
};

// The fixed header in front of each bank of an SFX package: a sound count and 400 descriptor
// slots. The bank's PCM follows it; its size comes from the bank lookup file, and with it the
// length of the last sound.
class BankHeader
{
public:
    static constexpr std::size_t Size = 4804;
    static constexpr std::size_t MaxSounds = 400;

    // Checks a header whose bank holds pcmSize bytes of PCM. Throws FormatError (starting with
    // where) for anything that would make a sound unreadable; notes harmless oddities.
    static BankHeader Parse(const unsigned char *bytes, std::uint32_t pcmSize, const std::string &where,
                            Warnings &warnings);
    // Size bytes: the count, a zero pad, the descriptors, zeros in the unused slots.
    void Serialise(unsigned char *bytes) const;

    std::uint32_t SoundBytes(std::size_t index) const;

    std::vector<SoundDescriptor> sounds;
    std::uint32_t pcmSize = 0;
};
}
