#pragma once
#include <cstddef>
#include <cstdint>

namespace kivo
{
// The XOR encoding of stream packs. A byte is encoded by its absolute position in the pack file,
// so bytes can only be encoded or decoded knowing where they sit in it; the same call does both.
void XorAtPosition(unsigned char *data, std::size_t size, std::uint64_t position);
}
