#pragma once
#include <cstddef>
#include <functional>

namespace kivo
{
// Runs work(0) .. work(count - 1) on a few threads, each taking the next index when it is free.
// Unpacking is mostly waiting for the file system to create thousands of files, which overlaps
// well. After the first exception no new index is started; once all threads have stopped, the
// exception of the lowest index that failed is rethrown. As indices are taken in order, that is
// the one a loop would have met first, whichever thread was quicker. The work items must not
// depend on each other.
void ParallelFor(std::size_t count, const std::function<void(std::size_t)> &work);
}
