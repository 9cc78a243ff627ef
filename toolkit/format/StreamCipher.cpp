#include "format/StreamCipher.h"

#include <cstring>

namespace kivo
{
namespace
{
constexpr unsigned char key[16] = {0xEA, 0x3A, 0xC4, 0xA1, 0x9A, 0xA8, 0x14, 0xF3,
                                   0x48, 0xB0, 0xD7, 0x23, 0x9D, 0xE8, 0xFF, 0xF1};
}

void XorAtPosition(unsigned char *data, std::size_t size, std::uint64_t position)
{
    // The key turned to start at this position, as two words: a pack is XORed 16 bytes per step.
    // Words are filled and stored byte by byte through memcpy, so the host's byte order and
    // the buffer's alignment do not matter.
    unsigned char turned[16];
    for (unsigned k = 0; k < 16; ++k)
        turned[k] = key[(position + k) % 16];
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, turned, 8);
    std::memcpy(&high, turned + 8, 8);
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        std::uint64_t first;
        std::uint64_t second;
        std::memcpy(&first, data + i, 8);
        std::memcpy(&second, data + i + 8, 8);
        first ^= low;
        second ^= high;
        std::memcpy(data + i, &first, 8);
        std::memcpy(data + i + 8, &second, 8);
    }
    for (unsigned k = 0; i < size; ++i, ++k)
        data[i] ^= turned[k];
}
}
