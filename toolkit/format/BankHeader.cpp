#include "format/BankHeader.h"

#include <algorithm>
#include <cstring>

#include "format/FormatError.h"
#include "format/LittleEndian.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
constexpr std::size_t descriptorSize = 12;
}

BankHeader BankHeader::Parse(const unsigned char *bytes, std::uint32_t pcmSize, const std::string &where,
                             Warnings &warnings)
{
    const std::size_t count = le::U16(bytes);
    if (count > MaxSounds)
        throw FormatError(where + " claims " + std::to_string(count) + " sounds; a bank holds at most 400");
    if (le::U16(bytes + 2) != 0)
        warnings.Add(where + ": the padding after the sound count is not zero; it is written as zero");
    if (pcmSize % 2 != 0)
        throw FormatError(where + " has an odd size (" + std::to_string(pcmSize) + " bytes) for 16-bit sound data");
    if (count == 0) {
        if (pcmSize != 0)
            throw FormatError(where + " has no sounds but " + std::to_string(pcmSize) + " bytes of sound data");
        warnings.Add(where + " has no sounds");
    }

    BankHeader header;
    header.pcmSize = pcmSize;
    header.sounds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char *slot = bytes + 4 + i * descriptorSize;
        SoundDescriptor sound;
        sound.offset = le::U32(slot);
        sound.loop = le::I32(slot + 4);
        sound.sampleRate = le::U16(slot + 8);
        sound.headroom = le::I16(slot + 10);
        // Named only when refused: a check reads every bank header of the game.
        const auto soundWhere = [&] { return where + ", sound " + std::to_string(i + 1); };
        if (i == 0 && sound.offset != 0)
            throw FormatError(soundWhere() + " does not start at the beginning of the bank's sound data");
        if (i > 0 && sound.offset < header.sounds.back().offset)
            throw FormatError(soundWhere() + " starts before the sound in front of it");
        if (sound.offset > pcmSize)
            throw FormatError(soundWhere() + " starts at byte " + std::to_string(sound.offset) + ", beyond the bank's "
                              + std::to_string(pcmSize) + " bytes");
        if (sound.offset % 2 != 0)
            throw FormatError(soundWhere() + " starts at an odd byte for 16-bit sound data");
        if (sound.sampleRate == 0)
            throw FormatError(soundWhere() + " has a sample rate of 0");
        header.sounds.push_back(sound);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t loop = header.sounds[i].loop;
        if (loop != -1 && (loop < 0 || static_cast<std::uint32_t>(loop) >= header.SoundBytes(i) / 2))
            warnings.Add(where + ", sound " + std::to_string(i + 1) + ": loop start " + std::to_string(loop)
                         + " lies outside the sound; it is kept as it is");
    }
    // Zero when the first byte is and every byte equals the next: one comparison of the rest
    // with itself moved by a byte (a check reads every bank header of the game).
    const unsigned char *unused = bytes + 4 + count * descriptorSize;
    const std::size_t unusedSize = static_cast<std::size_t>(bytes + Size - unused);
    if (unusedSize > 0 && (unused[0] != 0 || std::memcmp(unused, unused + 1, unusedSize - 1) != 0))
        warnings.Add(where + ": unused sound slots are not zero; they are written as zero");
    return header;
}

void BankHeader::Serialise(unsigned char *bytes) const
{
    std::memset(bytes, 0, Size);
    le::PutU16(bytes, static_cast<std::uint16_t>(sounds.size()));
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        unsigned char *slot = bytes + 4 + i * descriptorSize;
        le::PutU32(slot, sounds[i].offset);
        le::PutI32(slot + 4, sounds[i].loop);
        le::PutU16(slot + 8, sounds[i].sampleRate);
        le::PutI16(slot + 10, sounds[i].headroom);
    }
}

std::uint32_t BankHeader::SoundBytes(std::size_t index) const
{
    const std::uint32_t end = index + 1 < sounds.size() ? sounds[index + 1].offset : pcmSize;
    return end - sounds[index].offset;
}
}
