#include "format/GameCheck.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <system_error>

#include "format/AtomicFile.h"
#include "format/FormatError.h"
#include "format/PathCase.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"
#include "format/SfxCheck.h"
#include "format/StreamCheck.h"

namespace kivo
{
namespace
{
using Kind = CheckFinding::Kind;
using ArchiveCheck = std::function<std::vector<CheckFinding>(const std::filesystem::path &archive, const std::filesystem::path &file)>;

bool IsFile(const std::filesystem::path &path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error));
}

bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

// Findings that say the lookup file's records do not fit the file; the others are about what
// the fitting records hold.
bool IsMisfit(Kind kind)
{
    return kind == Kind::RecordOutside || kind == Kind::ArchiveShort || kind == Kind::BanksOverlap || kind == Kind::HeaderRefused
        || kind == Kind::Empty || kind == Kind::ZeroFilled || kind == Kind::VorbisHeaders || kind == Kind::CouldNotCheck;
}

std::filesystem::path WithSuffix(std::filesystem::path path, const char *suffix)
{
    path += suffix;
    return path;
}

// A journal whose lock nobody holds belongs to a save that was cut off; -c reports it and leaves
// the repair to the next save. True when there is one, so its files are not taken for leftovers.
bool CheckJournal(const std::filesystem::path &lookupPath, std::vector<CheckFinding> &findings)
{
    const std::filesystem::path journalPath = SaveJournal::PathFor(lookupPath);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(journalPath, error)))
        return false;
    const std::string lookupName = lookupPath.filename().string();
    try {
        const std::unique_ptr<SaveJournal> journal = SaveJournal::Find(lookupPath);
        findings.push_back({Kind::Journal, journalPath, "",
                            "a save of " + journal->Archive().filename().string() + " was cut off: until it is repaired, " + lookupName
                                + " and the archive may not belong together and the game may play the wrong sounds. The program's next save, or the next packing run into this folder, repairs it"});
    } catch (const FormatError &refusal) {
        findings.push_back({Kind::Journal, journalPath, "",
                            std::string("the repair refuses it, so nothing is repaired and the game folder may be out of step: ") + refusal.what()});
    }
    return true;
}

void CheckNewArchive(const std::filesystem::path &archive, const std::filesystem::path &lookupPath, const ArchiveCheck &check,
                     std::vector<CheckFinding> &findings)
{
    const std::filesystem::path newArchive = WithSuffix(archive, ".new");
    if (!IsFile(newArchive)) {
        const std::vector<CheckFinding> own = check(archive, archive);
        findings.insert(findings.end(), own.begin(), own.end());
        return;
    }
    const std::vector<CheckFinding> ofNew = check(archive, newArchive);
    bool bFits = true;
    for (const CheckFinding &finding : ofNew)
        bFits = bFits && !IsMisfit(finding.kind);
    const std::string name = archive.filename().string();
    const std::string lookupName = lookupPath.filename().string();
    if (!bFits) {
        findings.push_back({Kind::Leftover, newArchive, "",
                            "is left over from a packing run that did not finish, and " + lookupName
                                + " does not describe it; the game does not use it: remove it"});
        const std::vector<CheckFinding> own = check(archive, archive);
        findings.insert(findings.end(), own.begin(), own.end());
        return;
    }
    // The records describe the new archive: the old one would only show the mismatch again.
    findings.push_back({Kind::PackedByHand, newArchive, "",
                        "packed by hand, not yet in place: " + lookupName + " describes it, not " + name + ". Move it in " + name
                            + "'s place before the game runs, or put " + lookupName + ".bak back"});
    findings.insert(findings.end(), ofNew.begin(), ofNew.end());
}

void CheckLeftovers(const std::vector<std::filesystem::path> &archives, const std::filesystem::path &lookupPath, bool bJournal,
                    std::vector<CheckFinding> &findings)
{
    std::set<std::filesystem::path> folders{lookupPath.parent_path()};
    std::set<std::string> archiveNames;
    for (const std::filesystem::path &archive : archives) {
        folders.insert(archive.parent_path());
        archiveNames.insert(archive.filename().string());
    }
    const std::string copies = lookupPath.filename().string() + ".journal-copy-";
    for (const std::filesystem::path &folder : folders) {
        std::error_code error;
        for (std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error), end; !error && entry != end;
             entry.increment(error)) {
            const std::filesystem::path path = entry->path();
            const std::string name = path.filename().string();
            // Told by the name before the file is looked at: most names are none of these.
            const auto tell = [&](const std::string &text) {
                if (IsFile(path))
                    findings.push_back({Kind::Leftover, path, "", text});
            };
            if (IsStaleTemporary(path)) {
                tell("is half a file that a stopped run left behind; the game does not use it: remove it");
                continue;
            }
            if (bJournal)
                continue; // the journal names the copies and the old archive: the repair needs them
            if (folder == lookupPath.parent_path() && StartsWith(name, copies)) {
                tell("is a copy kept by a save that has no journal any more; the game does not use it: remove it");
                continue;
            }
            for (const std::string &archiveName : archiveNames)
                if (StartsWith(name, archiveName + ".old"))
                    tell("is where a save put the old " + archiveName + " aside and was cut off; the game does not use it. If "
                         + archiveName + " is missing or damaged, this is the one to put back; otherwise remove it");
        }
    }
}
}

std::vector<CheckFinding> GameCheck::Run(Side side, const std::vector<std::filesystem::path> &archives,
                                         const std::filesystem::path &lookupPath)
{
    std::vector<CheckFinding> findings;
    ArchiveCheck check;
    std::unique_ptr<SfxCheck> sfx;
    std::unique_ptr<StreamCheck> streams;
    if (side == Side::Sfx) {
        sfx = std::make_unique<SfxCheck>(lookupPath);
        findings = sfx->Setup();
        if (sfx->Valid())
            check = [&sfx](const std::filesystem::path &archive, const std::filesystem::path &file) { return sfx->Check(archive, file); };
    } else {
        streams = std::make_unique<StreamCheck>(lookupPath);
        findings = streams->Setup();
        if (streams->Valid())
            check = [&streams](const std::filesystem::path &archive, const std::filesystem::path &file) { return streams->Check(archive, file); };
    }
    if (!check)
        return findings;

    // While a save holds the lock, its journal and new archive are work under way, not damage.
    const bool bSaving = SaveLock::IsHeld(lookupPath);
    const bool bJournal = !bSaving && CheckJournal(lookupPath, findings);
    for (const std::filesystem::path &archive : archives) {
        if (!IsFile(archive))
            findings.push_back({Kind::CouldNotCheck, archive, "", "cannot be read: " + archive.string() + " is not a file"});
        else if (bSaving || bJournal)
            for (const CheckFinding &finding : check(archive, archive))
                findings.push_back(finding);
        else
            CheckNewArchive(archive, lookupPath, check, findings);
    }
    if (!bSaving)
        CheckLeftovers(archives, lookupPath, bJournal, findings);
    return findings;
}

int GameCheck::Print(const std::vector<CheckFinding> &findings)
{
    int code = 0;
    for (const CheckFinding &finding : findings) {
        std::string line = finding.Line();
        for (char &c : line)
            if (c == '\n' || c == '\r')
                c = ' ';
        const bool bIncomplete = finding.kind == Kind::CouldNotCheck;
        std::fprintf(bIncomplete ? stderr : stdout, "%s\n", line.c_str());
        code = std::max(code, bIncomplete ? 2 : 1);
    }
    return code;
}

int RunCheck(GameCheck::Side side, const std::vector<std::string> &args)
{
    try {
        std::vector<std::filesystem::path> archives;
        for (std::size_t i = 1; i + 1 < args.size(); ++i)
            archives.push_back(ResolvePathCase(args[i]));
        return GameCheck::Print(GameCheck::Run(side, archives, ResolvePathCase(args.back())));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "the check could not run: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "the check could not run: unexpected internal error\n");
    }
    return 2;
}
}
