#include "format/StreamCipher.h"

namespace kivo
{
namespace
{
constexpr unsigned char key[16] = {0xEA, 0x3A, 0xC4, 0xA1, 0x9A, 0xA8, 0x14, 0xF3,
                                   0x48, 0xB0, 0xD7, 0x23, 0x9D, 0xE8, 0xFF, 0xF1};
}

void XorAtPosition(unsigned char *data, std::size_t size, std::uint64_t position)
{
    std::size_t i = 0;
    unsigned phase = static_cast<unsigned>(position % 16);
    for (; i < size && phase != 0; ++i, phase = (phase + 1) % 16)
        data[i] ^= key[phase];
    // Whole key-aligned blocks: a fixed inner loop the compiler turns into vector code.
    for (; i + 16 <= size; i += 16)
        for (unsigned k = 0; k < 16; ++k)
            data[i + k] ^= key[k];
    for (unsigned k = 0; i < size; ++i, ++k)
        data[i] ^= key[k];
}
}
