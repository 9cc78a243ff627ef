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
    // The process id keeps two runs apart; the counter steps over a stale temporary that a killed
    // run with the same id may have left. Creating exclusively is the test for a leftover, so a
    // free name (the usual case) costs a single call.
    static const std::string processId = std::to_string(KIVO_GETPID());
    const std::string stem = finalPath.filename().string() + ".kivo-" + processId;
    for (int attempt = 0; !file; ++attempt) {
        temporaryPath = finalPath.parent_path() / (stem + (attempt ? "-" + std::to_string(attempt) : "") + ".tmp");
        if (attempt < 100)
            file = BinaryFile::CreateUnlessExists(temporaryPath);
        else
            file = std::make_unique<BinaryFile>(temporaryPath, BinaryFile::Mode::CreateNew);
    }
}

AtomicFile::~AtomicFile()
{
    if (committed)
        return;
    file.reset();
    std::error_code ignored;
    std::filesystem::remove(temporaryPath, ignored);
}

void AtomicFile::Commit()
{
    file->Close();
    std::error_code error;
    std::filesystem::rename(temporaryPath, finalPath, error);
    if (error)
        throw FormatError("cannot move " + temporaryPath.string() + " to " + finalPath.string() + ": " + error.message());
    committed = true;
}
}
