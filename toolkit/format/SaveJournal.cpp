#include "format/SaveJournal.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "format/AtomicFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/PathCase.h"
#include "format/SaveLock.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
const char *const firstLine = "RozivOze save journal 1";
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

bool IsSlotFileName(std::string name)
{
    for (char &c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "bankslot.dat" || name == "bankslot.dat.bak";
}

// The journal names its files relative to the lookup file's folder, so a game folder that moved
// keeps its journal.
std::string Relative(const std::filesystem::path &path, const std::filesystem::path &folder)
{
    const std::filesystem::path absolute = std::filesystem::absolute(path);
    const std::filesystem::path relative = absolute.lexically_relative(std::filesystem::absolute(folder));
    return (relative.empty() ? absolute : relative).generic_string();
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

std::filesystem::path SaveJournal::CopyOf(const std::string &name) const
{
    return lookup.parent_path() / (name + ".journal-copy");
}
std::filesystem::path SaveJournal::NewArchive() const { return WithSuffix(archive, ".new"); }

SaveJournal SaveJournal::Begin(const std::filesystem::path &archivePath, const std::filesystem::path &lookupPath)
{
    SaveJournal journal(archivePath, lookupPath);
    // Every file a save changes beside the lookup file: the records, the sound buffer slots that
    // the SFX tool grows, and the backups of both.
    const std::string lookupName = lookupPath.filename().string();
    const std::string slotsName = ResolvePathCase(lookupPath.parent_path() / "BankSlot.dat").filename().string();
    for (const std::string &name : {lookupName, lookupName + ".bak", slotsName, slotsName + ".bak"}) {
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
    const std::string bytes = text.str();
    AtomicFile file(PathFor(lookup), AtomicFile::Durability::Synced);
    file.File().Write(bytes.data(), bytes.size());
    file.Commit();
}

std::unique_ptr<SaveJournal> SaveJournal::Find(const std::filesystem::path &lookupPath)
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
    std::string phase, newArchive, lookupName;
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
    }
    // Only the files a save of this archive writes are ever touched: a journal that names others
    // is refused.
    const std::filesystem::path archiveName = journal->archive.filename();
    const bool bKeptOldBeside = journal->keptOld.empty()
        || (journal->keptOld.parent_path() == journal->archive.parent_path()
            && journal->keptOld.filename().string().rfind(archiveName.string() + ".old", 0) == 0);
    const auto isSavedFile = [&](const std::string &name) {
        return name == lookupName || name == lookupName + ".bak" || IsSlotFileName(name);
    };
    bool bNamesSavedFiles = std::find(journal->kept.begin(), journal->kept.end(), lookupName) != journal->kept.end();
    for (const std::vector<std::string> *names : {&journal->kept, &journal->absent})
        for (const std::string &name : *names)
            bNamesSavedFiles = bNamesSavedFiles && isSavedFile(name);
    if ((phase != "packing" && phase != "swapping") || archiveName.empty() || lookupName != lookupPath.filename().generic_string()
        || folder / std::filesystem::path(newArchive) != journal->NewArchive() || !bNamesSavedFiles || !bKeptOldBeside)
        throw FormatError(damaged);
    journal->phase = phase == "packing" ? Phase::Packing : Phase::Swapping;
    return journal;
}

void SaveJournal::MarkSwapping(const std::filesystem::path &keptOldArchive)
{
    keptOld = keptOldArchive;
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

SaveJournal::Outcome SaveJournal::Repair()
{
    if (phase == Phase::Packing) {
        RollBack(false);
        return Outcome::Undone;
    }
    RollForward();
    return Outcome::Completed;
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
}
