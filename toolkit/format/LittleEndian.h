#pragma once
#include <cstdint>

// Every number in the game's audio files is little-endian, whatever the host is.
namespace kivo::le
{
inline std::uint16_t U16(const unsigned char *p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::int16_t I16(const unsigned char *p) { return std::int16_t(U16(p)); }
inline std::uint32_t U32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::int32_t I32(const unsigned char *p) { return std::int32_t(U32(p)); }

inline void PutU16(unsigned char *p, std::uint16_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}
inline void PutU32(unsigned char *p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void PutI16(unsigned char *p, std::int16_t value) { PutU16(p, static_cast<std::uint16_t>(value)); }
inline void PutI32(unsigned char *p, std::int32_t value) { PutU32(p, static_cast<std::uint32_t>(value)); }
}
