#pragma once
#include <cstddef>

namespace kivo
{
// A buffer of at least size bytes that lives as long as the tool run. Unpacking takes one per
// bank or track; reusing it spares allocating and first touching megabytes of memory each time,
// which costs as much as copying them. The contents are whatever the last user left there. The
// next call may move it, so one caller uses it at a time (the tools run on one thread).
unsigned char *ScratchBuffer(std::size_t size);
}
