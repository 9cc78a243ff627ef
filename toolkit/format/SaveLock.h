#pragma once
#include <filesystem>
#include <memory>
#include <string>

namespace kivo
{
// The advisory lock that keeps two saves into one game folder apart: an exclusive lock on
// "<lookup file>.lock", held for the whole save. The program takes it and hands it to the tool it
// starts as an inherited descriptor, named in the environment variable KIVO_SAVE_LOCK_FD; a tool
// started otherwise takes it itself. The lock file is removed when its taker lets go.
class SaveLock
{
public:
    // How long a save waits for another before it gives up: 10 seconds, unless the environment
    // variable KIVO_TEST_LOCK_WAIT_MS says otherwise.
    static int DefaultWaitMs();
    // What the user reads when another save holds the lock too long.
    static std::string BusyMessage(const std::filesystem::path &lookupPath);

    // Takes the lock, waiting up to waitMs. Throws FormatError with BusyMessage() when another
    // holds it that long, or naming the lock file when it cannot be made.
    static std::unique_ptr<SaveLock> Take(const std::filesystem::path &lookupPath, int waitMs);
    // For a tool: the lock the program handed over when KIVO_SAVE_LOCK_FD names a descriptor that
    // holds this lookup file's lock, else Take() with the default wait. A tool the program
    // started also ends when the program ends (on systems that can arrange it), and refuses to
    // start when the program has already gone.
    static std::unique_ptr<SaveLock> ForTool(const std::filesystem::path &lookupPath);

    // Whether a save holds the lock beside lookupPath now. Asks without taking it and writes
    // nothing, so a check may look while a save runs.
    static bool IsHeld(const std::filesystem::path &lookupPath);

    ~SaveLock();
    SaveLock(const SaveLock &) = delete;
    SaveLock &operator=(const SaveLock &) = delete;

    int Descriptor() const { return descriptor; }
    // True for a lock handed over by the program, whose save is under way.
    bool IsInherited() const { return bInherited; }

private:
    SaveLock(std::filesystem::path lockPath, int lockDescriptor, bool bHandedOver);

    std::filesystem::path path;
    int descriptor = -1;
    bool bInherited = false;
};
}
