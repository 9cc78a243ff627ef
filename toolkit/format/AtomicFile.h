#pragma once
#include <filesystem>
#include <memory>

#include "format/BinaryFile.h"

namespace kivo
{
// A file written beside its final path and moved into place by Commit(). Until then the final
// path is untouched, so a failed or killed run never leaves a half-written file under it. Where
// the system allows, the file has no name at all until Commit(), so that a killed run (the user
// aborting a save) leaves nothing behind in the game folder either; elsewhere it is written
// under a temporary name, which an uncommitted AtomicFile removes when destroyed. Temporaries
// that killed runs left beside the file are removed when it is created.
class AtomicFile
{
public:
    enum class Durability {
        Plain,  // unpacked files: a power cut may cost them, the archive still has them
        Synced, // game files: on the disk, and so is the folder's new name, before Commit returns
    };

    explicit AtomicFile(const std::filesystem::path &finalPath, Durability durability = Durability::Plain);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    BinaryFile &File() { return *file; }
    // Closes the temporary and renames it over the final path (replacing a file there).
    void Commit();
    // Whether the file stands under its final name, even when Commit() threw afterwards (a
    // folder that could not be synced).
    bool Committed() const { return committed; }

private:
    // Names the file with a fresh temporary name beside the final path, or creates it there.
    void NameTemporary(bool create);

    std::filesystem::path finalPath;
    std::filesystem::path temporaryPath; // empty while the file has no name
    std::unique_ptr<BinaryFile> file;
    Durability durability;
    bool committed = false;
};

// Whether path is the temporary of an AtomicFile ("<file>.kivo-<process>[-<n>].tmp") whose
// run is gone, so that nothing will ever name or remove it.
bool IsStaleTemporary(const std::filesystem::path &path);

// Copies the file at `from` to `to`, synced: a half-written copy never stands under `to`.
// Throws FormatError.
void CopySynced(const std::filesystem::path &from, const std::filesystem::path &to);
}
