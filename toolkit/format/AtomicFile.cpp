#include "format/AtomicFile.h"

#include <string>
#include <system_error>

#include "format/FormatError.h"

#ifdef _WIN32
#include <process.h>
#define KIVO_GETPID _getpid
#else
#include <unistd.h>
#define KIVO_GETPID getpid
#endif

namespace kivo
{
AtomicFile::AtomicFile(const std::filesystem::path &path)
    : finalPath(path)
{
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
    if (temporaryPath.empty()) {
        // Nothing there yet (a first unpacking): the file takes its final name in one step.
        if (file->LinkAs(finalPath)) {
            try {
                file->Close();
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
    std::error_code error;
    std::filesystem::rename(temporaryPath, finalPath, error);
    if (error)
        throw FormatError("cannot move " + temporaryPath.string() + " to " + finalPath.string() + ": " + error.message());
    committed = true;
}
}
