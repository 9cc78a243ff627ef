#include "format/TestPause.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kivo
{
void PauseForTest(const char *point)
{
    const char *wanted = std::getenv("KIVO_TEST_PAUSE");
    if (!wanted || std::strcmp(wanted, point) != 0)
        return;
    std::fprintf(stderr, "paused at %s\n", point);
    std::fflush(stderr);
    // A caller that does not read standard error (the program runs the tools) waits for this file.
    if (const char *mark = std::getenv("KIVO_TEST_PAUSE_MARK")) {
        if (std::FILE *file = std::fopen(mark, "w")) {
            std::fprintf(file, "paused at %s\n", point);
            std::fclose(file);
        }
    }
    std::this_thread::sleep_for(std::chrono::minutes(2));
    std::_Exit(3);
}
}
