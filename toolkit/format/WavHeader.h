#pragma once
#include <cstdint>

namespace kivo
{
constexpr std::uint32_t WavHeaderSize = 44;

// Fills header with the canonical 44-byte header of a mono, signed 16-bit PCM WAV file holding
// dataBytes bytes at sampleRate. Throws FormatError when the RIFF size field cannot hold the data.
void MakeMonoWavHeader(unsigned char *header, std::uint32_t sampleRate, std::uint32_t dataBytes);
}
