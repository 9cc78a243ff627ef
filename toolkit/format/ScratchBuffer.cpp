#include "format/ScratchBuffer.h"

#include <memory>

namespace kivo
{
unsigned char *ScratchBuffer(std::size_t size)
{
    static std::unique_ptr<unsigned char[]> buffer;
    static std::size_t capacity = 0;
    if (capacity < size) {
        // No value-initialisation: the bytes are always written before they are read.
        buffer.reset(new unsigned char[size]);
        capacity = size;
    }
    return buffer.get();
}
}
