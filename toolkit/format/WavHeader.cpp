#include "format/WavHeader.h"

#include <cstring>
#include <limits>
#include <string>

#include "format/FormatError.h"
#include "format/LittleEndian.h"

namespace kivo
{
void MakeMonoWavHeader(unsigned char *header, std::uint32_t sampleRate, std::uint32_t dataBytes)
{
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - (WavHeaderSize - 8))
        throw FormatError(std::to_string(dataBytes) + " bytes of sound do not fit in a WAV file");
    std::memcpy(header, "RIFF", 4);
    le::PutU32(header + 4, WavHeaderSize - 8 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    le::PutU32(header + 16, 16);            // fmt chunk size
    le::PutU16(header + 20, 1);             // PCM
    le::PutU16(header + 22, 1);             // mono
    le::PutU32(header + 24, sampleRate);
    le::PutU32(header + 28, sampleRate * 2); // bytes per second
    le::PutU16(header + 32, 2);             // bytes per frame
    le::PutU16(header + 34, 16);            // bits per sample
    std::memcpy(header + 36, "data", 4);
    le::PutU32(header + 40, dataBytes);
}
}
