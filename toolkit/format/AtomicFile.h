#pragma once
#include <filesystem>
#include <memory>

#include "format/BinaryFile.h"

namespace kivo
{
// A file written under a temporary name beside its final path and renamed into place by
// Commit(). Until then the final path is untouched, so a failed or killed run never leaves a
// half-written file under it. An uncommitted AtomicFile removes its temporary when destroyed.
class AtomicFile
{
public:
    explicit AtomicFile(const std::filesystem::path &finalPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    BinaryFile &File() { return *file; }
    const std::filesystem::path &TemporaryPath() const { return temporaryPath; }
    // Closes the temporary and renames it over the final path (replacing a file there).
    void Commit();

private:
    std::filesystem::path finalPath;
    std::filesystem::path temporaryPath;
    std::unique_ptr<BinaryFile> file;
    bool committed = false;
};
}
