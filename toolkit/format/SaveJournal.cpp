#include "format/SaveJournal.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/Naming.h"
#include "format/PathCase.h"
#include "format/SaveLock.h"
#include "format/TestPause.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
// A journal of another layout (copies under other names) is refused rather than misread.
const char *const firstLine = "RozivOze save journal 2";
constexpr std::uintmax_t largestJournal = 64 * 1024;

std::filesystem::path WithSuffix(std::filesystem::path path, const char *suffix)
{
    path += suffix;
    return path;
}

bool IsFile(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error));
}

void Rename(const std::filesystem::path &from, const std::filesystem::path &to)
{
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (error)
        throw FormatError("cannot move " + from.string() + " to " + to.string() + ": " + error.message());
}

void RemoveFile(const std::filesystem::path &path)
{
    std::error_code error;
    if (IsFile(path) && !std::filesystem::remove(path, error) && error)
        throw FormatError("cannot remove " + path.string() + ": " + error.message());
}

std::string Lowered(std::string name)
{
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// Only BankLkup.dat's saves grow BankSlot.dat: a stream save must never put it back.
bool SavesSlots(const std::filesystem::path &lookupPath)
{
    return Lowered(lookupPath.filename().string()) == "banklkup.dat";
}

// The folder beside the lookup file's whose archives its records describe, in lower case; empty
// for a file of neither kind.
std::string ArchiveFolderFor(const std::filesystem::path &lookupPath)
{
    const std::string name = Lowered(lookupPath.filename().string());
    return name == "banklkup.dat" ? "sfx" : name == "traklkup.dat" ? "streams" : "";
}

// The journal names its files relative to the lookup file's folder, so a game folder that moved
// keeps its journal.
std::string Relative(const std::filesystem::path &path, const std::filesystem::path &folder)
{
    const std::filesystem::path absolute = std::filesystem::absolute(path);
    const std::filesystem::path relative = absolute.lexically_relative(std::filesystem::absolute(folder));
    return (relative.empty() ? absolute : relative).generic_string();
}

// The same real file, links followed, for files that need not exist yet.
bool SamePlace(const std::filesystem::path &a, const std::filesystem::path &b)
{
    std::error_code errorA, errorB;
    const std::filesystem::path realA = std::filesystem::weakly_canonical(a, errorA);
    const std::filesystem::path realB = std::filesystem::weakly_canonical(b, errorB);
    return !errorA && !errorB && realA == realB;
}
}

SaveJournal::SaveJournal(std::filesystem::path archivePath, std::filesystem::path lookupPath)
    : archive(std::move(archivePath))
    , lookup(std::move(lookupPath))
{
}

std::filesystem::path SaveJournal::PathFor(const std::filesystem::path &lookupPath)
{
    return WithSuffix(lookupPath, ".journal");
}

bool SaveJournal::MayName(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath)
{
    const std::filesystem::path named = std::filesystem::absolute(archivePath).lexically_normal();
    const std::filesystem::path folder = named.parent_path();
    const std::filesystem::path gameAudio = std::filesystem::absolute(lookupPath).lexically_normal().parent_path().parent_path();
    if (named.filename().empty() || folder.parent_path() != gameAudio || Lowered(folder.filename().string()) != ArchiveFolderFor(lookupPath))
        return false;
    // A link in its place, or a folder that is one, may lead anywhere: what the journal moves and
    // removes must really be there.
    std::error_code error, folderError;
    const std::filesystem::path real = std::filesystem::weakly_canonical(named, error);
    const std::filesystem::path realFolder = std::filesystem::canonical(folder, folderError);
    return !error && !folderError && real.parent_path() == realFolder;
}

std::filesystem::path SaveJournal::CopyOf(const std::string &name) const
{
    return WithSuffix(lookup, (".journal-copy-" + name).c_str());
}
std::filesystem::path SaveJournal::NewArchive() const { return WithSuffix(archive, ".new"); }

SaveJournal SaveJournal::Begin(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath)
{
    if (!MayName(archivePath, lookupPath))
        throw FormatError("a save journal beside " + lookupPath.string() + " cannot name " + archivePath.string()
                          + ": only the archives of the folder its records describe");
    SaveJournal journal(archivePath, lookupPath);
    // Every file a save changes beside the lookup file: the records, the sound buffer slots that
    // the SFX tool grows, and the backups of both.
    const std::string lookupName = lookupPath.filename().string();
    std::vector<std::string> names{lookupName, lookupName + ".bak"};
    if (SavesSlots(lookupPath)) {
        const std::string slotsName = ResolvePathCase(lookupPath.parent_path() / "BankSlot.dat").filename().string();
        names.insert(names.end(), {slotsName, slotsName + ".bak"});
    }
    for (const std::string &name : names) {
        const std::filesystem::path file = lookupPath.parent_path() / name;
        // A copy, not a second name: a writer that rewrites the file in place would change a
        // second name's bytes too.
        if (IsFile(file)) {
            CopySynced(file, journal.CopyOf(name));
            journal.kept.push_back(name);
        } else if (name == lookupName) {
            throw FormatError("cannot read " + file.string() + ": it is not a plain file");
        } else {
            journal.absent.push_back(name);
        }
    }
    journal.Write();
    return journal;
}

void SaveJournal::Write() const
{
    const std::filesystem::path folder = lookup.parent_path();
    std::ostringstream text;
    text << firstLine << '\n'
         << "phase=" << (phase == Phase::Packing ? "packing" : "swapping") << '\n'
         << "archive=" << Relative(archive, folder) << '\n'
         << "new=" << Relative(NewArchive(), folder) << '\n'
         << "lookup=" << lookup.filename().generic_string() << '\n';
    for (const std::string &name : kept)
        text << "kept=" << name << '\n';
    for (const std::string &name : absent)
        text << "absent=" << name << '\n';
    if (!keptOld.empty())
        text << "old=" << Relative(keptOld, folder) << '\n';
    if (figures)
        text << "figures=" << figures->Text() << '\n';
    const std::string bytes = text.str();
    AtomicFile file(PathFor(lookup), AtomicFile::Durability::Synced);
    file.File().Write(bytes.data(), bytes.size());
    file.Commit();
}

std::unique_ptr<SaveJournal> SaveJournal::Find(const std::filesystem::path &lookupPath,
                                               const std::vector<std::filesystem::path> *pAllowedArchives)
{
    const std::filesystem::path path = PathFor(lookupPath);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return nullptr;
    const std::string damaged = path.string() + " is not a save journal of this program; move it away and check the game folder";
    if (!IsFile(path) || std::filesystem::file_size(path, error) > largestJournal)
        throw FormatError(damaged);
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != firstLine)
        throw FormatError(damaged);
    const std::filesystem::path folder = lookupPath.parent_path();
    std::unique_ptr<SaveJournal> journal(new SaveJournal({}, lookupPath));
    std::string phase, newArchive, lookupName, figuresLine;
    while (std::getline(in, line)) {
        const std::string::size_type equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        const std::filesystem::path named = folder / std::filesystem::path(value);
        if (key == "phase") phase = value;
        else if (key == "archive") journal->archive = named;
        else if (key == "new") newArchive = value;
        else if (key == "lookup") lookupName = value;
        else if (key == "kept") journal->kept.push_back(value);
        else if (key == "absent") journal->absent.push_back(value);
        else if (key == "old") journal->keptOld = named;
        else if (key == "figures") figuresLine = value;
    }
    // Only the files a save into this lookup file writes are ever touched, all of them in the
    // game folder: a journal that names others, or contradicts itself, is refused.
    const std::filesystem::path archiveName = journal->archive.filename();
    const bool bKeptOldBeside = journal->keptOld.empty()
        || (journal->keptOld.parent_path() == journal->archive.parent_path()
            && journal->keptOld.filename().string().rfind(archiveName.string() + ".old", 0) == 0
            && MayName(journal->keptOld, lookupPath));
    const bool bSlots = SavesSlots(lookupPath);
    const auto isSavedFile = [&](const std::string &name) {
        const std::string lowered = Lowered(name);
        return name == lookupName || name == lookupName + ".bak" || (bSlots && (lowered == "bankslot.dat" || lowered == "bankslot.dat.bak"));
    };
    const auto isKept = [&](const std::string &name) {
        return std::any_of(journal->kept.begin(), journal->kept.end(), [&](const std::string &k) { return Lowered(k) == Lowered(name); });
    };
    bool bNamesSavedFiles = std::find(journal->kept.begin(), journal->kept.end(), lookupName) != journal->kept.end();
    for (const std::string &name : journal->kept)
        bNamesSavedFiles = bNamesSavedFiles && isSavedFile(name);
    // Kept and absent at once, or the lookup file absent: putting back and removing would undo
    // each other, or remove the records.
    for (const std::string &name : journal->absent)
        bNamesSavedFiles = bNamesSavedFiles && isSavedFile(name) && !isKept(name) && Lowered(name) != Lowered(lookupName);
    const bool bAllowed = !pAllowedArchives
        || std::any_of(pAllowedArchives->begin(), pAllowedArchives->end(),
                       [&](const std::filesystem::path &allowed) { return SamePlace(allowed, journal->archive); });
    journal->figures = ArchiveFigures::Parse(figuresLine);
    if ((phase != "packing" && phase != "swapping") || archiveName.empty() || lookupName != lookupPath.filename().generic_string()
        || folder / std::filesystem::path(newArchive) != journal->NewArchive() || !bNamesSavedFiles || !bKeptOldBeside
        || !MayName(journal->archive, lookupPath) || !MayName(journal->NewArchive(), lookupPath) || !bAllowed
        || (!figuresLine.empty() && !journal->figures))
        throw FormatError(damaged);
    journal->phase = phase == "packing" ? Phase::Packing : Phase::Swapping;
    return journal;
}

void SaveJournal::MarkSwapping(const std::filesystem::path &keptOldArchive, const std::optional<ArchiveFigures> &newArchiveFigures)
{
    keptOld = keptOldArchive;
    figures = newArchiveFigures;
    phase = Phase::Swapping;
    Write();
}

void SaveJournal::RollBack(bool bKeepNewArchive)
{
    // Each step can be repeated: a repair cut off in turn is taken up again from the journal.
    const std::filesystem::path folder = lookup.parent_path();
    for (const std::string &name : kept)
        if (IsFile(CopyOf(name)))
            Rename(CopyOf(name), folder / name);
    for (const std::string &name : absent)
        RemoveFile(folder / name);
    if (!keptOld.empty() && IsFile(keptOld))
        Rename(keptOld, archive);
    if (!bKeepNewArchive)
        RemoveFile(NewArchive());
    BinaryFile::SyncFolder(lookup.parent_path());
    BinaryFile::SyncFolder(archive.parent_path());
    Remove();
}

void SaveJournal::RollForward()
{
    if (IsFile(NewArchive()))
        Rename(NewArchive(), archive);
    else if (!IsFile(archive))
        throw FormatError("an interrupted save of " + archive.string() + " cannot be completed: neither it nor "
                          + NewArchive().filename().string() + " is there; check the game folder");
    if (!keptOld.empty())
        RemoveFile(keptOld);
    BinaryFile::SyncFolder(archive.parent_path());
    for (const std::string &name : kept)
        RemoveFile(CopyOf(name));
    Remove();
}

bool SaveJournal::NewArchiveStands() const
{
    const std::filesystem::path candidate = IsFile(NewArchive()) ? NewArchive() : archive;
    std::error_code error;
    // The size first: telling the old archive from the new one by it costs no reading.
    return figures && IsFile(candidate) && std::filesystem::file_size(candidate, error) == figures->size && !error
        && ArchiveFigures::Of(candidate) == *figures;
}

SaveJournal::Outcome SaveJournal::Repair()
{
    if (phase == Phase::Swapping && NewArchiveStands()) {
        RollForward();
        return Outcome::Completed;
    }
    RollBack(false);
    return Outcome::Undone;
}

void SaveJournal::Remove() const
{
    RemoveFile(PathFor(lookup));
    BinaryFile::SyncFolder(lookup.parent_path());
}

std::unique_ptr<SaveLock> LockGameFolder(const std::filesystem::path &lookupPath, Warnings &warnings)
{
    std::unique_ptr<SaveLock> lock = SaveLock::ForTool(lookupPath);
    // A handed-over lock comes with the program's own journal, of the save this run is part of.
    if (lock->IsInherited())
        return lock;
    if (const std::unique_ptr<SaveJournal> journal = SaveJournal::Find(lookupPath)) {
        const bool bUndone = journal->Repair() == SaveJournal::Outcome::Undone;
        warnings.Add("an interrupted save of " + journal->Archive().filename().string() + " was "
                     + (bUndone ? "undone" : "completed") + " first");
    }
    return lock;
}

void PackIntoGameFolder(const std::filesystem::path &output, const std::filesystem::path &lookupPath, Warnings &warnings,
                        const std::function<ArchiveFigures(const std::filesystem::path &newArchive)> &pack)
{
    // Held until the lookup file stands: no other save may write the game folder meanwhile.
    const std::unique_ptr<SaveLock> lock = LockGameFolder(lookupPath, warnings);
    const std::filesystem::path replaced = ReplacedArchive(output);
    ArchiveFigures figures;
    if (replaced != output) {
        figures = pack(output);
        if (!replaced.empty() && !lock->IsInherited())
            warnings.Add(lookupPath.filename().string() + " now describes " + output.filename().string() + ", not "
                         + replaced.filename().string() + ": move " + output.filename().string() + " in its place before the game runs");
    } else if (!SaveJournal::MayName(output, lookupPath)) {
        // Not a game folder's layout (a mod folder): no journal, but still whole before the rename.
        figures = pack(WithSuffix(output, ".new"));
        Rename(WithSuffix(output, ".new"), output);
    } else {
        SaveJournal journal = SaveJournal::Begin(output, lookupPath);
        try {
            figures = pack(journal.NewArchive());
            journal.MarkSwapping({}, figures);
        } catch (...) {
            journal.RollBack(false);
            throw;
        }
        PauseForTest("save-swapping");
        journal.RollForward();
    }
    std::printf("%s\n", figures.Text().c_str());
}
}
