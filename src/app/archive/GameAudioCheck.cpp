#include "app/archive/GameAudioCheck.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <memory>

#include "app/CombinePath.h"
#include "app/archive/EntryStates.h"
#include "app/archive/GameSave.h"
#include "app/archive/OperationFeedback.h"
#include "format/ArchiveFigures.h"
#include "format/FormatError.h"
#include "format/GameCheck.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"
#include "game/PathCase.h"

namespace
{
using Kind = kivo::CheckFinding::Kind;

std::vector<kivo::CheckFinding> FindingsOf(const GameArchive &archive)
{
    const std::filesystem::path path = ToolkitPath(archive.ArchivePath());
    try {
        return kivo::GameCheck::Run(archive.Type() == IniMetafileModel::SFX ? kivo::GameCheck::Side::Sfx
                                                                           : kivo::GameCheck::Side::Streams,
                                    {path}, ToolkitPath(archive.LookupFilePath()));
    } catch (const std::exception &error) {
        return {{Kind::CouldNotCheck, path, "", std::string("the check could not run: ") + error.what()}};
    }
}

// The row already names the archive: a finding about it starts with where in it, one about a file
// beside it with that file's name.
QString LineOf(const kivo::CheckFinding &finding, const GameArchive &archive)
{
    if (finding.archive != ToolkitPath(archive.ArchivePath()))
        return QString::fromStdString(finding.Line());
    const QString text = QString::fromStdString(finding.text);
    return finding.where.empty() ? text : QString::fromStdString(finding.where) + QStringLiteral(": ") + text;
}

bool Has(const std::vector<kivo::CheckFinding> &findings, Kind kind)
{
    return std::any_of(findings.begin(), findings.end(), [kind](const kivo::CheckFinding &finding) { return finding.kind == kind; });
}

// The records the lookup file at lookupPath holds for the archive named so in nameTable.
std::vector<kivo::LookupRecord> RecordsOf(const QString &lookupPath, const QString &nameTable, bool bSfx,
                                          const QString &archiveName)
{
    const kivo::NameTable names = kivo::NameTable::Load(ToolkitPath(nameTable), bSfx ? kivo::NameTable::PackageRecordSize
                                                                                   : kivo::NameTable::StreamRecordSize);
    const kivo::LookupFile lookup = kivo::LookupFile::Load(ToolkitPath(lookupPath));
    const int index = names.Find(archiveName.toStdString());
    std::vector<kivo::LookupRecord> records;
    if (index >= 0)
        for (const std::size_t record : lookup.RecordsOf(unsigned(index)))
            records.push_back(lookup.Record(record));
    return records;
}

// Told by the size, then by the listings of both archives where unpacking cached them, else by
// the lookup records, which move or resize with any bank or track that changed length (a sound
// replaced by one of the same length shows only in the listings): no archive is read whole. A
// kept original that cannot be read tells nothing.
bool DiffersFromKept(const GameArchive &archive, const QString &workingDirectory)
{
    const KeptOriginals kept = archive.Originals();
    if (!kept.CanRestore())
        return false;
    if (QFileInfo(archive.ArchivePath()).size() != QFileInfo(kept.ArchivePath()).size())
        return true;
    const std::optional<bool> bListingsDiffer = EntryStates(archive.Type(), archive.ArchivePath(), archive.LookupFilePath())
                                                    .DiffersInCache(CombinePath(workingDirectory, archive.Name()));
    if (bListingsDiffer)
        return *bListingsDiffer;
    const bool bSfx = archive.Type() == IniMetafileModel::SFX;
    const QString nameTable = ResolvePathCase(QFileInfo(archive.LookupFilePath()).absolutePath()
                                              + (bSfx ? QStringLiteral("/PakFiles.dat") : QStringLiteral("/StrmPaks.dat")));
    const QString name = QFileInfo(archive.ArchivePath()).fileName();
    try {
        const auto same = [](const kivo::LookupRecord &a, const kivo::LookupRecord &b) { return a.offset == b.offset && a.size == b.size; };
        const std::vector<kivo::LookupRecord> now = RecordsOf(archive.LookupFilePath(), nameTable, bSfx, name);
        const std::vector<kivo::LookupRecord> before = RecordsOf(kept.LookupFilePath(), nameTable, bSfx, name);
        return !std::equal(now.begin(), now.end(), before.begin(), before.end(), same);
    } catch (const kivo::FormatError &) {
        return false;
    }
}
}

std::optional<QList<GameAudioCheck::Row>> GameAudioCheck::Run(OperationFeedback &feedback, const QList<GameArchive> &archives,
                                                               const QString &workingDirectory)
{
    QList<Row> rows;
    for (const GameArchive &archive : archives) {
        if (!feedback.Step(int(rows.size()), int(archives.size()), QStringLiteral("Checking ") + archive.Name() + QStringLiteral("...")))
            return std::nullopt;
        rows << Check(archive, workingDirectory);
    }
    feedback.Step(int(rows.size()), int(archives.size()), QString());
    return rows;
}

GameAudioCheck::Row GameAudioCheck::Check(const GameArchive &archive, const QString &workingDirectory)
{
    Row row{archive};
    const std::vector<kivo::CheckFinding> findings = FindingsOf(archive);
    for (const kivo::CheckFinding &finding : findings)
        row.findings << LineOf(finding, archive);
    const KeptOriginals kept = archive.Originals();
    const bool bPackedByHand = Has(findings, Kind::PackedByHand);
    // The save's rule grows from the slots as kept: without them the old sizes are unknown.
    if (Has(findings, Kind::GrownPastSlot) && !bPackedByHand && kept.CanRestore()
        && QFileInfo(kept.KeptPath(ResolvePathCase(QFileInfo(archive.LookupFilePath()).absolutePath() + QStringLiteral("/BankSlot.dat"))))
               .isFile())
        row.repairs << Repair::GrowSlots;
    if (bPackedByHand)
        row.repairs << Repair::PutInPlace;
    else if (kept.CanRestore())
        row.repairs << Repair::RestoreOriginal;

    if (!findings.empty()) {
        row.state = State::Problem;
    } else if (DiffersFromKept(archive, workingDirectory)) {
        row.state = State::Changed;
        row.changed = QFileInfo(archive.ArchivePath()).lastModified();
    }
    return row;
}

bool GameAudioCheck::GrowSlots(OperationFeedback &feedback, const GameArchive &archive, const QList<GameArchive> &all)
{
    return GameArchive::RestoreBankSlots(feedback, archive.Originals(), all);
}

bool GameAudioCheck::PutInPlace(OperationFeedback &feedback, const GameArchive &archive)
{
    // Only while the lookup file still describes it: a save since may have changed either.
    if (!Has(FindingsOf(archive), Kind::PackedByHand)) {
        feedback.Fail(archive.Name() + QStringLiteral(".new is no longer one that ") + QFileInfo(archive.LookupFilePath()).fileName()
                      + QStringLiteral(" describes. Nothing was changed."));
        return false;
    }
    const std::filesystem::path lookup = ToolkitPath(archive.LookupFilePath());
    try {
        const std::unique_ptr<kivo::SaveLock> lock = kivo::SaveLock::Take(lookup, kivo::SaveLock::DefaultWaitMs());
        if (kivo::SaveJournal::Find(lookup))
            throw kivo::FormatError("a save into " + lookup.filename().string()
                                    + " was cut off; the program's next save or start repairs it first");
        kivo::SaveJournal journal = kivo::SaveJournal::Begin(ToolkitPath(archive.ArchivePath()), lookup);
        try {
            journal.MarkSwapping({}, kivo::ArchiveFigures::Of(journal.NewArchive()));
        } catch (const kivo::FormatError &) {
            journal.RollBack(true);
            throw;
        }
        journal.RollForward();
        return true;
    } catch (const kivo::FormatError &error) {
        feedback.Fail(archive.Name() + QStringLiteral(".new could not be put in place: ") + QString::fromLocal8Bit(error.what())
                      + QStringLiteral("."));
        return false;
    }
}

bool GameAudioCheck::RestoreOriginal(OperationFeedback &feedback, const GameArchive &archive, const QList<GameArchive> &all,
                                     QString &warnings)
{
    return GameArchive::RestoreOriginals(feedback, {archive}, all, warnings);
}
