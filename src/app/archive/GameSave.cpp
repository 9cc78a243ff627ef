#include "app/archive/GameSave.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#endif

#include "app/archive/KeptOriginals.h"
#include "app/archive/LoadedArchive.h"
#include "app/archive/OperationFeedback.h"
#include "format/ArchiveFigures.h"
#include "format/AtomicFile.h"
#include "format/FormatError.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"
#include "format/TestPause.h"
#include "format/Warnings.h"
#include "game/PathCase.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"

namespace
{
QString ToText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

// While it lives, the tool started for this save inherits the lock: the descriptor stays open
// across exec and the environment names it, with this program as the parent the tool dies with.
class LockHandover
{
public:
    explicit LockHandover(int lockDescriptor) : descriptor(lockDescriptor)
    {
#ifdef Q_OS_UNIX
        ::fcntl(descriptor, F_SETFD, 0);
#endif
        qputenv("KIVO_SAVE_LOCK_FD", QByteArray::number(descriptor));
        qputenv("KIVO_SAVE_PARENT", QByteArray::number(QCoreApplication::applicationPid()));
    }
    ~LockHandover()
    {
        qunsetenv("KIVO_SAVE_LOCK_FD");
        qunsetenv("KIVO_SAVE_PARENT");
#ifdef Q_OS_UNIX
        ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
#endif
    }
    LockHandover(const LockHandover &) = delete;
    LockHandover &operator=(const LockHandover &) = delete;

private:
    int descriptor;
};

// Throws FormatError as SaveLock::Take does.
std::unique_ptr<kivo::SaveLock> TakeLock(const std::filesystem::path &lookup)
{
    try {
        return kivo::SaveLock::Take(lookup, 0);
    } catch (const kivo::FormatError &) {
        // Another save is writing: waiting for it may take seconds.
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    return kivo::SaveLock::Take(lookup, kivo::SaveLock::DefaultWaitMs());
}

// Repairs what the journal beside the lookup file records, if there is one, and says so.
// Throws FormatError when that fails.
void RepairUnderLock(OperationFeedback &feedback, const std::filesystem::path &lookup,
                     const std::vector<std::filesystem::path> *pAllowedArchives = nullptr)
{
    const std::unique_ptr<kivo::SaveJournal> journal = kivo::SaveJournal::Find(lookup, pAllowedArchives);
    if (!journal)
        return;
    const bool bUndone = journal->Repair() == kivo::SaveJournal::Outcome::Undone;
    const QString archive = QString::fromStdString(journal->Archive().filename().string());
    feedback.Inform(QStringLiteral("Information"),
                    QStringLiteral("An interrupted save of ") + archive
                        + (bUndone ? QStringLiteral(" was undone.") : QStringLiteral(" was completed.")));
}

// Takes the save's lock, repairs a save cut off before (by a crash of a tool run by hand) so that
// this one keeps the lookup file as it is, and begins this save's journal. False after telling why.
bool BeginUnderLock(OperationFeedback &feedback, const QString &archivePath, const std::filesystem::path &lookup,
                    std::unique_ptr<kivo::SaveLock> &lock, std::unique_ptr<kivo::SaveJournal> &journal)
{
    try {
        lock = TakeLock(lookup);
        RepairUnderLock(feedback, lookup);
        journal = std::make_unique<kivo::SaveJournal>(kivo::SaveJournal::Begin(ToolkitPath(archivePath), lookup));
        return true;
    } catch (const kivo::FormatError &error) {
        feedback.Fail(ToText(error));
        return false;
    }
}

// Puts the lookup file back as the journal kept it. Returns a text to add to the user's
// message, empty when all went back.
QString RollBack(kivo::SaveJournal &journal, bool bKeepNewArchive)
{
    try {
        journal.RollBack(bKeepNewArchive);
        return QString();
    } catch (const kivo::FormatError &error) {
        return QStringLiteral("The old lookup file could not be put back (") + ToText(error)
             + QStringLiteral("); the next start of the program tries again.");
    }
}

// Puts the new archive in the old one's place. The old archive is only moved aside until the new
// one stands, so a failure at any step leaves the game with a working archive; the journal says
// where it waits, and the new one's figures, so a crash in between completes the swap. Throws the
// message to show; bStuckAside tells then that the old archive could not be put back either.
void ReplaceArchive(kivo::SaveJournal &journal, const KeptOriginals &originals, const QString &archivePath,
                    const QString &newArchivePath, const std::optional<kivo::ArchiveFigures> &figures,
                    bool &bStuckAside)
{
    const QString removeFailed = QStringLiteral("Failed to remove old sound archive (") + archivePath + QStringLiteral(")");
    // A read-only archive is one the user protected: it stays, even where the folder would let
    // us move it.
    const QFileInfo oldArchive(archivePath);
    if (!oldArchive.isFile() || !oldArchive.isWritable())
        throw removeFailed;

    // The old archive waits under a name nothing uses yet while the new one is moved in.
    const QString backupPath = UnusedNameBeside(archivePath, QStringLiteral(".old"));
    try {
        journal.MarkSwapping(ToolkitPath(backupPath), figures);
    } catch (const kivo::FormatError &error) {
        throw QStringLiteral("Failed to move new sound archive.\n") + ToText(error);
    }
    kivo::PauseForTest("save-swapping");
    // Kept only now, once the journal completes the swap after a crash: a second name of an archive
    // that stayed in place would change with it.
    const bool bKeptNow = originals.KeepArchiveBeforeSwap();
    if (!QFile::rename(archivePath, backupPath)) {
        if (bKeptNow)
            originals.ForgetArchiveKeptAtSwap();
        throw removeFailed;
    }
    kivo::PauseForTest("save-swap");

    if (!QFile::rename(newArchivePath, archivePath)) {
        QString message = QStringLiteral("Failed to move new sound archive.");
        bStuckAside = !QFile::rename(backupPath, archivePath);
        if (bStuckAside)
            throw message + QStringLiteral("\nThe old sound archive was kept as \"") + backupPath + QStringLiteral("\".");
        if (bKeptNow)
            originals.ForgetArchiveKeptAtSwap();
        throw message;
    }
    kivo::PauseForTest("save-swapped");
    // The new archive is in place: the kept old one and the journal go, each change on the disk.
    try {
        journal.RollForward();
    } catch (const kivo::FormatError &) {
        // Leftovers cost space, not data; the next start takes them up again.
    }
}

// The journal's new archive in the old one's place; false after telling why. The old archive
// stands then with its old records, unless it is stuck under another name, which the journal
// completes at the next start.
bool SwapIn(OperationFeedback &feedback, kivo::SaveJournal &journal, const KeptOriginals &originals,
            const std::optional<kivo::ArchiveFigures> &figures)
{
    bool bStuckAside = false;
    try {
        ReplaceArchive(journal, originals, originals.GamePath(), FromToolkitPath(journal.NewArchive()), figures, bStuckAside);
        return true;
    } catch (QString &message) {
        if (!bStuckAside) {
            const QString notRestored = RollBack(journal, true);
            if (!notRestored.isEmpty())
                message += QLatin1Char('\n') + notRestored;
        }
        feedback.Fail(message);
        return false;
    }
}

// The game's lookup file with the archive's records as the kept lookup file has them; the others
// stay as they are now. Throws FormatError when the two do not hold the same records for it.
kivo::LookupFile KeptRecords(const KeptOriginals &originals)
{
    const bool bSfx = originals.Type() == IniMetafileModel::SFX;
    const QString folder = QFileInfo(originals.GameLookupFilePath()).absolutePath();
    const kivo::NameTable names = kivo::NameTable::Load(
        ToolkitPath(ResolvePathCase(folder + (bSfx ? QStringLiteral("/PakFiles.dat") : QStringLiteral("/StrmPaks.dat")))),
        bSfx ? kivo::NameTable::PackageRecordSize : kivo::NameTable::StreamRecordSize);
    const std::string name = FileNameOf(originals.GamePath()).toStdString();
    const int index = names.Find(name);
    if (index < 0)
        throw kivo::FormatError(name + " is not listed in its name table, so its records cannot be found");
    kivo::LookupFile lookup = kivo::LookupFile::Load(ToolkitPath(originals.GameLookupFilePath()));
    const kivo::LookupFile kept = kivo::LookupFile::Load(ToolkitPath(originals.LookupFilePath()));
    const std::vector<std::size_t> now = lookup.RecordsOf(unsigned(index));
    const std::vector<std::size_t> before = kept.RecordsOf(unsigned(index));
    if (now.size() != before.size())
        throw kivo::FormatError("the kept lookup file holds " + std::to_string(before.size()) + " records for " + name
                                + ", the game's " + std::to_string(now.size()));
    for (std::size_t r = 0; r < now.size(); ++r)
        lookup.SetLocation(now[r], kept.Record(before[r]).offset, kept.Record(before[r]).size);
    return lookup;
}
}

bool GameSave::Run(OperationFeedback &feedback, IniMetafileModel::ArchiveType type, const QString &metafilePath,
                   const QString &archivePath, const QString &lookupPath, QString &warnings)
{
    const KeptOriginals originals(type, archivePath, lookupPath);
    if (!originals.KeepBeforeSave(feedback))
        return false;
    const QString newArchivePath = archivePath + QStringLiteral(".new");
    KivoSfxProcessCaller sfxCaller;
    KivoStreamProcessCaller streamCaller;
    const auto import = [&] {
        return type == IniMetafileModel::SFX ? sfxCaller.ImportArchive(newArchivePath, metafilePath, lookupPath)
                                             : streamCaller.ImportArchive(newArchivePath, metafilePath, lookupPath);
    };
    // Without a lookup file there is nothing to lock or keep: the caller's checks refuse, in
    // their own words, before the tool runs.
    if (!QFileInfo::exists(lookupPath)) {
        import();
        return false;
    }

    const std::filesystem::path lookup = ToolkitPath(lookupPath);
    std::unique_ptr<kivo::SaveLock> lock;
    std::unique_ptr<kivo::SaveJournal> journal;
    if (!BeginUnderLock(feedback, archivePath, lookup, lock, journal))
        return false;

    // A tool killed right after it replaced the lookup file leaves new records for the old archive:
    // they go back before any box tells of the failure, so the game never waits on the user.
    QString notRestored;
    bool bRolledBack = false;
    const auto rollBack = [&] {
        notRestored = RollBack(*journal, false);
        bRolledBack = true;
    };
    sfxCaller.SetBeforeFailureShown(rollBack);
    streamCaller.SetBeforeFailureShown(rollBack);
    bool imported = false;
    {
        const LockHandover handover(lock->Descriptor());
        imported = import();
    }
    if (!imported) {
        if (!bRolledBack)
            rollBack();
        if (!notRestored.isEmpty())
            feedback.Fail(notRestored);
        return false;
    }

    const QString toolOutput = type == IniMetafileModel::SFX ? sfxCaller.Output() : streamCaller.Output();
    if (!SwapIn(feedback, *journal, originals, kivo::ArchiveFigures::Parse(toolOutput.toStdString())))
        return false;
    warnings = type == IniMetafileModel::SFX ? sfxCaller.Warnings() : streamCaller.Warnings();
    return true;
}

bool GameSave::PutBack(OperationFeedback &feedback, const KeptOriginals &originals, QString &warnings)
{
    const QString &archivePath = originals.GamePath();
    const std::filesystem::path lookup = ToolkitPath(originals.GameLookupFilePath());
    std::unique_ptr<kivo::SaveLock> lock;
    std::unique_ptr<kivo::SaveJournal> journal;
    if (!BeginUnderLock(feedback, archivePath, lookup, lock, journal))
        return false;
    std::optional<kivo::ArchiveFigures> figures;
    try {
        kivo::CopySynced(ToolkitPath(originals.ArchivePath()), journal->NewArchive());
        figures = kivo::ArchiveFigures::Of(journal->NewArchive());
        kivo::Warnings recordWarnings;
        KeptRecords(originals).ReplaceFor(journal->NewArchive(), recordWarnings);
        QStringList lines;
        for (const std::string &line : recordWarnings.Lines())
            lines << QString::fromStdString(line);
        warnings = lines.join(QLatin1Char('\n'));
    } catch (const kivo::FormatError &error) {
        const QString notRestored = RollBack(*journal, false);
        feedback.Fail(QStringLiteral("The original of ") + FileNameOf(archivePath) + QStringLiteral(" could not be put back: ")
                      + ToText(error) + (notRestored.isEmpty() ? QStringLiteral("\nNothing was changed.") : QLatin1Char('\n') + notRestored));
        return false;
    }
    return SwapIn(feedback, *journal, originals, figures);
}

void GameSave::RepairInterrupted(OperationFeedback &feedback, const QString &lookupPath, const QStringList &archivePaths)
{
    const std::filesystem::path lookup = ToolkitPath(lookupPath);
    if (!QFileInfo::exists(FromToolkitPath(kivo::SaveJournal::PathFor(lookup))))
        return;
    try {
        // A save under way in another window owns the journal: it is left alone.
        const auto lock = kivo::SaveLock::Take(lookup, 0);
        std::vector<std::filesystem::path> allowed;
        for (const QString &archive : archivePaths)
            allowed.push_back(ToolkitPath(archive));
        RepairUnderLock(feedback, lookup, &allowed);
    } catch (const kivo::FormatError &error) {
        if (ToText(error) != QString::fromStdString(kivo::SaveLock::BusyMessage(lookup)))
            feedback.Fail(ToText(error));
    }
}
