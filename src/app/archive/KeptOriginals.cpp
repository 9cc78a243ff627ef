#include "app/archive/KeptOriginals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "app/archive/OperationFeedback.h"
#include "format/AtomicFile.h"
#include "format/BankSlotFile.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/SaveJournal.h"
#include "format/SaveLock.h"
#include "format/SfxPackage.h"
#include "game/PathCase.h"

namespace
{
const QString keptFolderName = QStringLiteral("RozivOze originals");

QString CommonFolder(const QString &first, const QString &second)
{
    const QStringList firstParts = QDir::cleanPath(QFileInfo(first).absolutePath()).split(QLatin1Char('/'));
    const QStringList secondParts = QDir::cleanPath(QFileInfo(second).absolutePath()).split(QLatin1Char('/'));
    qsizetype shared = 0;
    while (shared < firstParts.size() && shared < secondParts.size() && firstParts[shared] == secondParts[shared])
        ++shared;
    const QString common = firstParts.mid(0, shared).join(QLatin1Char('/'));
    return common.isEmpty() ? QStringLiteral("/") : common;
}

QString Failure(const QString &source, const QString &target, const QString &reason)
{
    return QStringLiteral("The original of \"") + source + QStringLiteral("\" could not be kept as \"") + target
         + QStringLiteral("\": ") + reason + QStringLiteral(".");
}

// The folder and every folder above it up to `root`: a folder made for the kept file is only
// found after a crash when its parent's entry is on disk too. Throws FormatError.
void SyncFolders(const QString &folder, const QString &root)
{
    QString path = QDir::cleanPath(folder);
    for (;;) {
        kivo::BinaryFile::SyncFolder(ToolkitPath(path));
        const QString parent = QFileInfo(path).absolutePath();
        if (path == root || parent == path || !parent.startsWith(root))
            return;
        path = parent;
    }
}

// True when both names lead to the same bytes on disk (hard links, or a link to the other).
bool SharesStorage(const QString &first, const QString &second)
{
    std::error_code error;
    return std::filesystem::equivalent(ToolkitPath(first), ToolkitPath(second), error);
}

// True when `target` now names the file. A second name costs no space, but is only safe for a file
// the game folder no longer writes under its own name.
bool Link(const QString &source, const QString &target)
{
#ifdef Q_OS_UNIX
    return ::linkat(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                    AT_SYMLINK_FOLLOW)
        == 0;
#else
    Q_UNUSED(source);
    Q_UNUSED(target);
    return false;
#endif
}

// Keeps `source` as `target` unless a kept file is there already. A kept file that still shares its
// bytes with the game's file (kept as a second name by an earlier version) becomes a copy of its own,
// or a plain cp over the game's file, another tool or a mod installer would change the original too.
// bLink: the game folder is about to get a new file under source's name, so a second name is safe.
void KeepFile(const QString &source, const QString &target, const QString &root, bool bLink)
{
    // Nothing of this name in the game folder: nothing to keep, and the save says what is missing.
    if (!QFileInfo(source).isFile())
        return;
    const QFileInfo kept(target);
    if ((kept.exists() || kept.isSymLink()) && !SharesStorage(source, target))
        return;
    const QString folder = kept.absolutePath();
    if (!QDir().mkpath(folder))
        throw Failure(source, target, QStringLiteral("its folder could not be made"));
    try {
        if (bLink && !kept.exists() && Link(source, target))
            kivo::BinaryFile(ToolkitPath(target), kivo::BinaryFile::Mode::Read).Sync();
        else  // a half-written copy must never pass for the original
            kivo::CopySynced(ToolkitPath(source), ToolkitPath(target));
        SyncFolders(folder, root);
    } catch (const kivo::FormatError &error) {
        throw Failure(source, target, QString::fromLocal8Bit(error.what()));
    }
}
}

KeptOriginals::KeptOriginals(IniMetafileModel::ArchiveType type, const QString &archivePath, const QString &lookupPath)
    : type(type)
    , archivePath(QFileInfo(archivePath).absoluteFilePath())
    , lookupPath(QFileInfo(lookupPath).absoluteFilePath())
    , root(CommonFolder(archivePath, lookupPath))
{
}

bool KeptOriginals::CanRestore() const
{
    return QFileInfo(ArchivePath()).isFile() && QFileInfo(LookupFilePath()).isFile();
}

QString KeptOriginals::KeptPath(const QString &gamePath) const
{
    return QDir::cleanPath(root + QLatin1Char('/') + keptFolderName + QLatin1Char('/')
                           + QDir(root).relativeFilePath(gamePath));
}

QStringList KeptOriginals::FilesToKeep() const
{
    const QString config = QFileInfo(lookupPath).absolutePath() + QLatin1Char('/');
    // The toolkit finds an archive's place in the lookup file through the name table beside it,
    // so the kept lookup file is readable only with it. It never changes; its second name is free.
    QStringList files{lookupPath,
                      ResolvePathCase(config + (type == IniMetafileModel::SFX ? QStringLiteral("PakFiles.dat")
                                                                             : QStringLiteral("StrmPaks.dat")))};
    // Packing may grow the game's sound buffers.
    if (type == IniMetafileModel::SFX)
        files << ResolvePathCase(config + QStringLiteral("BankSlot.dat"));
    return files;
}

void KeptOriginals::Keep() const
{
    // The small files are copied: the tools rewrite some of them, and the name table never.
    for (const QString &file : FilesToKeep())
        KeepFile(file, KeptPath(file), root, false);
    // The archive is kept at the swap; one kept as a second name before still gets bytes of its own.
    if (QFileInfo::exists(ArchivePath()))
        KeepFile(archivePath, ArchivePath(), root, false);
}

bool KeptOriginals::KeepArchiveBeforeSwap() const
{
    if (QFileInfo::exists(ArchivePath()) || QFileInfo(ArchivePath()).isSymLink())
        return false;
    KeepFile(archivePath, ArchivePath(), root, true);
    return true;
}

void KeptOriginals::ForgetArchiveKeptAtSwap() const
{
    // Removing a name is all it takes to stop sharing; its bytes stay with the game's archive.
    QFile::remove(ArchivePath());
}

namespace
{
void WriteSynced(const std::filesystem::path &path, const std::vector<unsigned char> &bytes)
{
    kivo::AtomicFile file(path, kivo::AtomicFile::Durability::Synced);
    file.File().Write(bytes.data(), bytes.size());
    file.Commit();
}
}

void KeptOriginals::RestoreBankSlots(const QStringList &sfxArchivePaths) const
{
    const QString slotsPath = ResolvePathCase(QFileInfo(lookupPath).absolutePath() + QStringLiteral("/BankSlot.dat"));
    const QString keptSlots = KeptPath(slotsPath);
    if (!QFileInfo(keptSlots).isFile())
        return;
    try {
        const auto lock = kivo::SaveLock::Take(ToolkitPath(lookupPath), kivo::SaveLock::DefaultWaitMs());
        kivo::BankSlotFile bankSlots = kivo::BankSlotFile::Load(ToolkitPath(keptSlots));
        std::vector<kivo::Growth> growths;
        for (const QString &archive : sfxArchivePaths) {
            const KeptOriginals other(IniMetafileModel::SFX, archive, lookupPath);
            if (!other.CanRestore())
                continue;  // never saved by this program: the kept slots already hold it
            const std::vector<kivo::Growth> grown
                = kivo::GrowthsOf(kivo::SfxPackage::ReadBanks(ToolkitPath(other.ArchivePath()), ToolkitPath(other.LookupFilePath())),
                                  kivo::SfxPackage::ReadBanks(ToolkitPath(archive), ToolkitPath(lookupPath)));
            growths.insert(growths.end(), grown.begin(), grown.end());
        }
        bankSlots.Grow(growths);
        const std::filesystem::path gameSlots = ToolkitPath(slotsPath);
        kivo::BinaryFile current(gameSlots, kivo::BinaryFile::Mode::Read);
        std::vector<unsigned char> currentBytes(static_cast<std::size_t>(current.Size()));
        current.ReadAt(0, currentBytes.data(), currentBytes.size());
        if (currentBytes == bankSlots.Bytes())
            return;
        // As a save's: a crash between the two writes leaves a journal that puts both files back.
        if (kivo::SaveJournal::Find(ToolkitPath(lookupPath)))
            throw kivo::FormatError("a save into " + ToolkitPath(lookupPath).filename().string()
                                    + " was cut off; the program's next start repairs it first");
        kivo::SaveJournal journal = kivo::SaveJournal::Begin(ToolkitPath(archivePath), ToolkitPath(lookupPath));
        try {
            WriteSynced(gameSlots.string() + ".bak", currentBytes);
            WriteSynced(gameSlots, bankSlots.Bytes());
        } catch (const kivo::FormatError &) {
            journal.RollBack(true);
            throw;
        }
        journal.RollForward();
    } catch (const kivo::FormatError &error) {
        throw QStringLiteral("The game's sound buffer slots (\"") + slotsPath
            + QStringLiteral("\") could not be put back as they were: ") + QString::fromLocal8Bit(error.what())
            + QStringLiteral(".");
    }
}

bool KeptOriginals::KeepBeforeSave(OperationFeedback &feedback) const
{
    try {
        Keep();
        return true;
    } catch (const QString &message) {
        feedback.Fail(message + QStringLiteral("\nNothing in the game folder was changed."));
        return false;
    }
}
