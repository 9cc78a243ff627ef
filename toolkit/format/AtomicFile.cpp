#include "format/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "format/FormatError.h"
#include "format/TestPause.h"

#ifdef _WIN32
#include <process.h>
#define KIVO_GETPID _getpid
#else
#include <csignal>
#include <unistd.h>
#define KIVO_GETPID getpid
#endif

namespace kivo
{
namespace
{
// The process that named "<file>.kivo-<id>[-<n>].tmp", or 0 for any other name.
long TemporaryOwner(const std::string &name)
{
    const std::string::size_type mark = name.rfind(".kivo-");
    if (mark == std::string::npos || name.size() < mark + 10 || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return 0;
    const std::string id = name.substr(mark + 6, name.size() - 4 - (mark + 6));
    const std::string::size_type dash = id.find_first_not_of("0123456789");
    if (dash == 0 || (dash != std::string::npos
                      && (id[dash] != '-' || dash + 1 == id.size() || id.find_first_not_of("0123456789", dash + 1) != std::string::npos)))
        return 0;
    return std::strtol(id.c_str(), nullptr, 10);
}

bool IsRunning(long processId)
{
#ifdef _WIN32
    (void)processId;
    return true; // no cheap test here: leave it
#else
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
#endif
}

// A run killed between naming its temporary and the rename leaves the temporary; nothing else
// would ever remove it. Those of processes that are gone are removed, once per folder and run.
void RemoveStaleTemporaries(const std::filesystem::path &folder)
{
    static std::mutex sweeping;
    static std::set<std::filesystem::path> swept;
    const std::lock_guard<std::mutex> lock(sweeping);
    if (!swept.insert(folder).second)
        return;
    static const long self = static_cast<long>(KIVO_GETPID());
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const long owner = TemporaryOwner(entry->path().filename().string());
        std::error_code ignored;
        if (owner > 0 && owner != self && !IsRunning(owner) && entry->is_regular_file(ignored))
            std::filesystem::remove(entry->path(), ignored);
    }
}
}

bool IsStaleTemporary(const std::filesystem::path &path)
{
    const long owner = TemporaryOwner(path.filename().string());
    return owner > 0 && !IsRunning(owner);
}

AtomicFile::AtomicFile(const std::filesystem::path &path, Durability fileDurability)
    : finalPath(path)
    , durability(fileDurability)
{
    RemoveStaleTemporaries(finalPath.parent_path());
    file = BinaryFile::CreateUnnamed(finalPath);
    if (!file)
        NameTemporary(true);
}

void AtomicFile::NameTemporary(bool create)
{
    // The process id keeps two runs apart; the counter steps over a stale temporary that a killed
    // run with the same id may have left. Taking the name exclusively is the test for a leftover,
    // so a free name (the usual case) costs a single call.
    static const std::string processId = std::to_string(KIVO_GETPID());
    const std::string stem = finalPath.filename().string() + ".kivo-" + processId;
    for (int attempt = 0;; ++attempt) {
        temporaryPath = finalPath.parent_path() / (stem + (attempt ? "-" + std::to_string(attempt) : "") + ".tmp");
        if (!create) {
            if (file->LinkAs(temporaryPath))
                return;
            if (attempt == 100)
                throw FormatError("cannot create " + temporaryPath.string() + ": too many leftover temporaries");
            continue;
        }
        file = attempt < 100 ? BinaryFile::CreateUnlessExists(temporaryPath)
                             : std::make_unique<BinaryFile>(temporaryPath, BinaryFile::Mode::CreateNew);
        if (file)
            return;
    }
}

AtomicFile::~AtomicFile()
{
    if (committed)
        return;
    file.reset();
    if (temporaryPath.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(temporaryPath, ignored);
}

void AtomicFile::Commit()
{
    const bool bSynced = durability == Durability::Synced;
    // The bytes reach the disk before any name points at them.
    if (bSynced)
        file->Sync();
    if (temporaryPath.empty()) {
        // Nothing there yet (a first unpacking): the file takes its final name in one step.
        if (file->LinkAs(finalPath)) {
            try {
                file->Close();
                if (bSynced)
                    BinaryFile::SyncFolder(finalPath.parent_path());
            } catch (...) {
                std::error_code ignored;
                std::filesystem::remove(finalPath, ignored);
                throw;
            }
            committed = true;
            return;
        }
        NameTemporary(false);
    }
    file->Close();
    PauseForTest("rename");
    std::error_code error;
    std::filesystem::rename(temporaryPath, finalPath, error);
    if (error)
        throw FormatError("cannot move " + temporaryPath.string() + " to " + finalPath.string() + ": " + error.message());
    committed = true;
    if (bSynced)
        BinaryFile::SyncFolder(finalPath.parent_path());
}

void CopySynced(const std::filesystem::path &from, const std::filesystem::path &to)
{
    BinaryFile source(from, BinaryFile::Mode::Read);
    AtomicFile copy(to, AtomicFile::Durability::Synced);
    copy.File().AppendFrom(source, 0, source.Size());
    copy.Commit();
}
}
