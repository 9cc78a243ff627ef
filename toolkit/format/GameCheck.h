#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "format/CheckFinding.h"

namespace kivo
{
// Tells whether the game's audio will load: checks archives against their lookup file, and what
// lies beside them (the sound buffer slots, an interrupted save, files left behind), reading
// headers only. Never writes, never repairs, never takes the save lock: it may run beside a save
// and beside the game.
class GameCheck
{
public:
    enum class Side { Sfx, Streams };

    // The findings for archives (SFX packages or stream packs, by side) and their lookup file,
    // in that order. A file that cannot be read is a CouldNotCheck finding, and the others are
    // checked all the same.
    static std::vector<CheckFinding> Run(Side side, const std::vector<std::filesystem::path> &archives,
                                         const std::filesystem::path &lookupPath);

    // What "-c" prints: each finding as one line on standard output, and what could not be
    // checked on standard error. Returns the exit code: 0 when all is well, 1 when something was
    // found, 2 when some of the check could not run.
    static int Print(const std::vector<CheckFinding> &findings);
};

// "-c <archive>... <lookup file>" for either tool: runs the check and prints it; exit code as Print().
int RunCheck(GameCheck::Side side, const std::vector<std::string> &args);
}
