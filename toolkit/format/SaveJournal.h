#pragma once
#include <filesystem>
#include <memory>
#include <string>

namespace kivo
{
class SaveLock;
class Warnings;

// The record of a save under way, "<lookup file>.journal" beside the lookup file, so that whatever
// runs next in the game folder can finish or undo a save that was cut off. It names the archive,
// "<archive>.new", the lookup file and a copy of the lookup file as it was (and of its ".bak"),
// and the phase: "packing" while the tool writes the new archive and the records (undone after a
// crash), "swapping" once both are complete (completed after a crash). Every change to it is on
// the disk before the step it announces. Used under the SaveLock.
class SaveJournal
{
public:
    enum class Phase { Packing, Swapping };
    enum class Outcome { Nothing, Undone, Completed };

    static std::filesystem::path PathFor(const std::filesystem::path &lookupPath);

    // Keeps the lookup file (and its ".bak") as they are, then writes the journal, phase packing.
    // Throws FormatError when that fails, leaving no journal. A journal already there must have
    // been repaired first.
    static SaveJournal Begin(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath);
    // The journal beside lookupPath, or nullptr without one. Throws FormatError for one that is
    // not a journal of this kind.
    static std::unique_ptr<SaveJournal> Find(const std::filesystem::path &lookupPath);

    const std::filesystem::path &Archive() const { return archive; }
    Phase CurrentPhase() const { return phase; }

    // The tool has written the new archive and its records: from here on a crash completes the
    // save. keptOldArchive is where the old archive will wait during the swap (empty: nowhere).
    void MarkSwapping(const std::filesystem::path &keptOldArchive);
    // Puts the lookup file and its ".bak" back as they were and removes the new archive (unless
    // bKeepNewArchive), then the journal.
    void RollBack(bool bKeepNewArchive);
    // Puts the new archive in the old one's place if it is not there yet, removes the old one's
    // leftovers and the copies, then the journal.
    void RollForward();
    // Undoes or completes the save by its phase. Throws FormatError when neither can be done.
    Outcome Repair();

private:
    SaveJournal(std::filesystem::path archivePath, std::filesystem::path lookupPath);
    std::filesystem::path Copy() const;
    std::filesystem::path BackupCopy() const;
    std::filesystem::path NewArchive() const;
    void Write() const;
    void Remove() const;

    std::filesystem::path archive;
    std::filesystem::path lookup;
    std::filesystem::path keptOld;
    Phase phase = Phase::Packing;
    bool bBackupKept = false;
};

// What a tool run that writes into a game folder does first: takes the save lock (or the one
// the program handed over) and, unless the program's own save is under way, repairs a save that
// was cut off, saying so among the warnings. Throws FormatError when either fails.
std::unique_ptr<SaveLock> LockGameFolder(const std::filesystem::path &lookupPath, Warnings &warnings);
}
