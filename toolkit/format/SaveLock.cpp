#include "format/SaveLock.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "format/FormatError.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace kivo
{
namespace
{
std::filesystem::path LockPathOf(const std::filesystem::path &lookupPath)
{
    std::filesystem::path lockPath = lookupPath;
    lockPath += ".lock";
    return lockPath;
}

#ifndef _WIN32
// Whether descriptor is open on the file that path names now.
bool IsOpenOn(int descriptor, const std::filesystem::path &path)
{
    struct stat opened, named;
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino;
}

int TryLock(int descriptor)
{
    int result;
    do
        result = ::flock(descriptor, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

// The program that handed its lock over should take this tool with it when it ends: a tool
// that went on would rewrite the lookup file for an archive nobody swaps in.
void EndWithTheProgram()
{
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    const char *parent = std::getenv("KIVO_SAVE_PARENT");
    // It may have ended before the request above took effect.
    if (parent && std::strtol(parent, nullptr, 10) != static_cast<long>(::getppid()))
        throw FormatError("the program that started this save has ended; nothing was written");
}
#endif
}

int SaveLock::DefaultWaitMs()
{
    const char *wait = std::getenv("KIVO_TEST_LOCK_WAIT_MS");
    return wait ? std::atoi(wait) : 10000;
}

std::string SaveLock::BusyMessage(const std::filesystem::path &lookupPath)
{
    return "Another save is writing " + lookupPath.string() + ". Try again when it has finished.";
}

SaveLock::SaveLock(std::filesystem::path lockPath, int lockDescriptor, bool bHandedOver)
    : path(std::move(lockPath))
    , descriptor(lockDescriptor)
    , bInherited(bHandedOver)
{
}

#ifdef _WIN32
// No advisory locks here: saves are not kept apart.
std::unique_ptr<SaveLock> SaveLock::Take(const std::filesystem::path &lookupPath, int)
{
    return std::unique_ptr<SaveLock>(new SaveLock(LockPathOf(lookupPath), -1, false));
}

std::unique_ptr<SaveLock> SaveLock::ForTool(const std::filesystem::path &lookupPath)
{
    return Take(lookupPath, 0);
}

bool SaveLock::IsHeld(const std::filesystem::path &)
{
    return false;
}

SaveLock::~SaveLock() = default;
#else
std::unique_ptr<SaveLock> SaveLock::Take(const std::filesystem::path &lookupPath, int waitMs)
{
    const std::filesystem::path lockPath = LockPathOf(lookupPath);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const int opened = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (opened < 0)
            throw FormatError("cannot create " + lockPath.string() + ": " + std::strerror(errno));
        int error;
        while ((error = TryLock(opened)) == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A file system without locks (some network shares) cannot keep saves apart; the tools'
        // second reading of the lookup file before they replace it still keeps other records.
        if (error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS)
            error = 0;
        // The holder removes the file when it lets go: a lock on a file that has no name any
        // more keeps nobody out, so the name is opened again.
        if (error == 0 && IsOpenOn(opened, lockPath))
            return std::unique_ptr<SaveLock>(new SaveLock(lockPath, opened, false));
        ::close(opened);
        if (error == EWOULDBLOCK)
            throw FormatError(BusyMessage(lookupPath));
        if (error != 0)
            throw FormatError("cannot lock " + lockPath.string() + ": " + std::strerror(error));
    }
}

std::unique_ptr<SaveLock> SaveLock::ForTool(const std::filesystem::path &lookupPath)
{
    if (const char *handed = std::getenv("KIVO_SAVE_LOCK_FD")) {
        EndWithTheProgram();
        const int inherited = std::atoi(handed);
        // A descriptor of this lock that holds it already: the lock is the program's, taken for
        // this save. Any other (a save into another game folder) leaves the tool to lock itself.
        if (inherited > 2 && IsOpenOn(inherited, LockPathOf(lookupPath)) && TryLock(inherited) == 0) {
            ::fcntl(inherited, F_SETFD, FD_CLOEXEC);
            return std::unique_ptr<SaveLock>(new SaveLock(LockPathOf(lookupPath), inherited, true));
        }
    }
    return Take(lookupPath, DefaultWaitMs());
}

bool SaveLock::IsHeld(const std::filesystem::path &lookupPath)
{
    // Opened to read only and never created: no lock file means no save.
    const int opened = ::open(LockPathOf(lookupPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (opened < 0)
        return false;
    int result;
    do
        result = ::flock(opened, LOCK_SH | LOCK_NB);
    while (result != 0 && errno == EINTR);
    const bool bHeld = result != 0 && errno == EWOULDBLOCK;
    ::close(opened);
    return bHeld;
}

SaveLock::~SaveLock()
{
    // The program still holds a handed-over lock through its own descriptor.
    if (!bInherited)
        ::unlink(path.c_str());
    ::close(descriptor);
}
#endif
}
