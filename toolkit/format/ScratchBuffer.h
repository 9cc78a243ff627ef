#pragma once
#include <cstddef>

namespace kivo
{
// A buffer of at least size bytes that belongs to the calling thread and lives as long as it.
// Unpacking takes one per bank or track; reusing it spares allocating and first touching
// megabytes of memory each time, which costs as much as copying them. The contents are whatever
// the thread left there. The next call on the same thread may move it.
unsigned char *ScratchBuffer(std::size_t size);
}
