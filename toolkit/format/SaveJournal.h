#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/ArchiveFigures.h"

namespace kivo
{
class SaveLock;
class Warnings;

// The record of a save under way, "<lookup file>.journal" beside the lookup file, so that whatever
// runs next in the game folder can finish or undo a save that was cut off. It names the archive,
// "<archive>.new", the lookup file, and copies of the files the save changes beside it as they
// were, each named "<lookup file>.journal-copy-<name>" (the lookup file and its ".bak", and for
// BankLkup.dat also BankSlot.dat and its ".bak"; one that was not there is removed again), and
// the phase: "packing" while the tool writes the new archive and the records (undone after a
// crash), "swapping" once both are complete, with the new archive's figures (completed after a
// crash when the archive in place, or "<archive>.new", has them; undone otherwise). Every change
// to it is on the disk before the step it announces. Used under the SaveLock.
class SaveJournal
{
public:
    enum class Phase { Packing, Swapping };
    enum class Outcome { Nothing, Undone, Completed };

    static std::filesystem::path PathFor(const std::filesystem::path &lookupPath);
    // Whether a journal beside lookupPath may name archivePath: a file of the folder that the
    // lookup file's records describe, "../SFX" for BankLkup.dat and "../streams" for TrakLkup.dat
    // (names matched ignoring case), and still there with links followed.
    static bool MayName(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath);

    // Keeps the files a save changes as they are, then writes the journal, phase packing.
    // Throws FormatError when that fails or the journal may not name the archive, leaving no
    // journal. A journal already there must have been repaired first.
    static SaveJournal Begin(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath);
    // The journal beside lookupPath, or nullptr without one. Throws FormatError naming the journal
    // for one that is not a journal of this kind, names a file a save into this lookup file does
    // not write, or contradicts itself; with pAllowedArchives, also for one whose archive is none
    // of those.
    static std::unique_ptr<SaveJournal> Find(const std::filesystem::path &lookupPath,
                                             const std::vector<std::filesystem::path> *pAllowedArchives = nullptr);

    const std::filesystem::path &Archive() const { return archive; }
    std::filesystem::path NewArchive() const;
    Phase CurrentPhase() const { return phase; }

    // The tool has written the new archive, with these figures, and its records: from here on a
    // crash completes the save (one without figures, of a tool that did not tell them, is undone).
    // keptOldArchive is where the old archive will wait during the swap (empty: nowhere).
    void MarkSwapping(const std::filesystem::path &keptOldArchive, const std::optional<ArchiveFigures> &newArchiveFigures);
    // Puts the files beside the lookup file back as they were, and the old archive where it
    // waited during the swap, and removes the new archive (unless bKeepNewArchive), then the
    // journal.
    void RollBack(bool bKeepNewArchive);
    // Puts the new archive in the old one's place if it is not there yet, removes the old one's
    // leftovers and the copies, then the journal.
    void RollForward();
    // Completes the save when its new archive is known to stand (or to wait as "<archive>.new"),
    // else undoes it. Throws FormatError when neither can be done.
    Outcome Repair();

private:
    SaveJournal(std::filesystem::path archivePath, std::filesystem::path lookupPath);
    std::filesystem::path CopyOf(const std::string &name) const;
    bool NewArchiveStands() const;
    void Write() const;
    void Remove() const;

    std::filesystem::path archive;
    std::filesystem::path lookup;
    std::filesystem::path keptOld;
    Phase phase = Phase::Packing;
    std::optional<ArchiveFigures> figures; // of the new archive, from the swap on
    std::vector<std::string> kept;      // names beside the lookup file, each with a copy
    std::vector<std::string> absent;    // names that were not there
};

// What a tool run that writes into a game folder does first: takes the save lock (or the one
// the program handed over) and, unless the program's own save is under way, repairs a save that
// was cut off, saying so among the warnings. Throws FormatError when either fails.
std::unique_ptr<SaveLock> LockGameFolder(const std::filesystem::path &lookupPath, Warnings &warnings);

// What "-i" does, for either tool: locks the game folder (LockGameFolder), has pack write the new
// archive and rewrite its records, and prints the new archive's figures on standard output. The
// archive replaced is output without ".new" where it ends so, else output itself (see
// ReplacedArchive). Packed in place, the new archive is written as "<output>.new" and then takes
// the old one's place, under a journal as the program's save keeps it (where a journal may name
// the archive), so a run cut off is repaired like a save. A run by hand that leaves
// "<archive>.new" says that the lookup file now describes it. Throws FormatError.
void PackIntoGameFolder(const std::filesystem::path &output, const std::filesystem::path &lookupPath, Warnings &warnings,
                        const std::function<ArchiveFigures(const std::filesystem::path &newArchive)> &pack);
}
