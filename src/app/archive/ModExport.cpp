#include "app/archive/ModExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

#include <algorithm>
#include <vector>

#include "app/CombinePath.h"
#include "app/archive/FolderReplace.h"
#include "app/archive/KeptOriginals.h"
#include "app/archive/LoopStarts.h"
#include "app/archive/ModFolder.h"
#include "app/archive/OperationFeedback.h"
#include "audio/SoundFile.h"
#include "metafile/IniMetafileItem.h"
#include "format/BankSlotFile.h"
#include "format/FormatError.h"
#include "game/PathCase.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tree/XmlMetaData.h"

namespace
{
// Bytes of 16-bit sound data in a file; 0 when it is not readable audio.
quint32 PcmBytes(const QString &path)
{
    SF_INFO info {};
    if (!OpenSoundFile(QFile::encodeName(path), SFM_READ, &info).file)
        return 0;
    return quint32(qMin<qint64>(qint64(info.frames) * info.channels * 2, 0xffffffffLL));
}

QByteArray ReadWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QStringLiteral("Failed to read ") + path + QStringLiteral(": ") + file.errorString();
    return file.readAll();
}

void WriteWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw QStringLiteral("Failed to write ") + path + QStringLiteral(": ") + file.errorString();
}
}

ModExport::ModExport(const LoadedArchive &archive, const QString &archivePath, const QString &lookupPath,
                     const QList<Entry> &entries)
    : archive(archive)
    , archivePath(archivePath)
    , lookupPath(lookupPath)
    , archiveName(FileNameOf(archivePath))
    , entries(entries)
{
}

ModExport::Result ModExport::Export(const QString &folder, OperationFeedback &feedback) const
{
    Result result;
    // A mod that never touches the game: nothing may be written into the game folder, nor over
    // the unpacked files it is made from.
    if (FoldersOverlap(folder, archive.GameFolder()) || FoldersOverlap(CombinePath(folder, archiveName), archive.Folder())) {
        result.outcome = Outcome::Overlaps;
        return result;
    }
    try {
        const QString readmePath = CombinePath(folder, QStringLiteral("README.txt"));
        const QFileInfo readmeInfo(readmePath);
        QString existingReadme;
        // Only a plain file is read: a pipe under that name would never end.
        if (readmeInfo.isFile())
            existingReadme = QString::fromUtf8(ReadWhole(readmePath));
        else if (readmeInfo.exists() || readmeInfo.isSymLink())
            existingReadme = QStringLiteral("?");
        if (!existingReadme.isNull() && !ModFolder::IsOwnReadme(existingReadme)) {
            result.outcome = Outcome::ForeignReadme;
            return result;
        }
        // Only the chosen folder was checked: a link inside it could still carry a write into the
        // game folder or anywhere else.
        result.path = ModFolder::FirstLeavingFolder(folder, QStringList {readmePath} + Paths(folder));
        if (!result.path.isNull()) {
            result.outcome = Outcome::LeavesFolder;
            return result;
        }
        QStringList readme;
        for (const Entry &entry : entries) {
            if (entry.bChanged)
                readme << entry.name + QStringLiteral(": ")
                              + (entry.description.isEmpty()
                                     ? QStringLiteral("(no description)")
                                     : entry.description.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QStringLiteral("; ")));
        }
        const QStringList loopStarts = LoopStartLines();
        result.loopStartsChanged = int(loopStarts.size());
        readme << loopStarts;
        if (archive.Type() == IniMetafileModel::SFX) {
            if (!ExportSounds(folder, feedback, result)) {
                result.outcome = Outcome::Stopped;
                return result;
            }
            RemoveRevertedSounds(ModFolder::ReadmeEntries(existingReadme, archiveName), folder);
        } else if (!ExportStream(folder, result)) {
            result.outcome = Outcome::Stopped;
            return result;
        }
        WriteWhole(readmePath, ModFolder::MergeReadme(existingReadme, archiveName, readme).toUtf8());
    } catch (const QString &message) {
        result.outcome = Outcome::Failed;
        result.message = message;
    }
    return result;
}

QString ModExport::SoundPath(const QString &folder, const Entry &entry) const
{
    // Loaders find a sound by its bank's number in the package and its own in the bank,
    // whatever the metafile named the file.
    return CombinePath(CombinePath(CombinePath(folder, archiveName), entry.bank),
                       QStringLiteral("sound_%1.wav").arg(entry.number, 3, 10, QLatin1Char('0')));
}

QString ModExport::LookupPath(const QString &folder) const
{
    return CombinePath(folder, FileNameOf(lookupPath));
}

QStringList ModExport::Paths(const QString &folder) const
{
    QStringList paths {CombinePath(folder, archiveName)};
    if (archive.Type() != IniMetafileModel::SFX) {
        // The tool keeps the old lookup file and holds its lock beside it.
        const QString modLookup = LookupPath(folder);
        return paths << modLookup << modLookup + QStringLiteral(".bak") << modLookup + QStringLiteral(".lock");
    }
    paths << CombinePath(folder, QStringLiteral("BankSlot.dat"));
    // Every sound: changed ones are written, reverted ones that an earlier export wrote removed.
    for (const Entry &entry : entries)
        paths << SoundPath(folder, entry);
    return paths;
}

void ModExport::RemoveRevertedSounds(const QStringList &exportedBefore, const QString &folder) const
{
    // A sound an earlier export wrote but that is the original again would go on replacing it.
    for (const Entry &entry : entries) {
        const QString stale = SoundPath(folder, entry);
        if (entry.bChanged || !exportedBefore.contains(entry.name) || !QFileInfo(stale).isFile())
            continue;
        if (!QFile::remove(stale))
            throw QStringLiteral("Failed to remove ") + stale + QStringLiteral(", which is the original again.");
        QDir().rmdir(QFileInfo(stale).absolutePath());
    }
}

bool ModExport::ExportSounds(const QString &folder, OperationFeedback &feedback, Result &result) const
{
    std::vector<kivo::Growth> growths;
    QMap<QString, kivo::Growth> banks;
    for (const Entry &entry : entries) {
        if (!entry.bChanged)
            continue;
        const QString target = SoundPath(folder, entry);
        const QString source = archive.FilePath(entry.name);
        if (source.isNull())
            throw QStringLiteral("The entry's file name leads outside the archive folder.");
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            throw QStringLiteral("Failed to create the folder ") + QFileInfo(target).absolutePath();
        const int rate = entry.sampleRate > 0 ? entry.sampleRate : AudioConverter::FormOf(source).sampleRate;
        // Loaders take nothing but mono 16-bit PCM with a plain header, which is what the
        // converter writes; a sound already in that form goes as it is.
        const AudioForm form {false, rate, 1};
        if (AudioConverter::HasForm(source, form)) {
            WriteWhole(target, ReadWhole(source));
        } else {
            const AudioConverter::Result converted = feedback.Convert(source, target, form);
            if (converted.outcome == AudioConverter::Outcome::Aborted)
                return false;
            if (converted.outcome == AudioConverter::Outcome::Failed)
                throw converted.message;
        }
        growths.push_back({PcmBytes(archive.OriginalFilePath(entry.name)), PcmBytes(target)});
        banks[entry.bank];  // summed below over all its sounds
    }
    for (auto it = banks.begin(); it != banks.end(); ++it) {
        for (const Entry &entry : entries) {
            if (entry.bank != it.key())
                continue;
            const QString original = archive.OriginalFilePath(entry.name);
            const QString current = archive.FilePath(entry.name);
            it->after += PcmBytes(current);
            it->before += PcmBytes(QFileInfo(original).isFile() ? original : current);
        }
        growths.push_back(*it);
    }
    if (std::none_of(growths.cbegin(), growths.cend(), [](const kivo::Growth &growth) { return growth.after > growth.before; }))
        return true;

    // The mod's own table when it has one: another package exported before may have grown it.
    const QString modTable = CombinePath(folder, QStringLiteral("BankSlot.dat"));
    const bool bOwnTable = QFileInfo(modTable).isFile();
    const QString gameTable =
        bOwnTable ? QString() : ResolvePathCase(CombinePath(QFileInfo(lookupPath).absolutePath(), QStringLiteral("BankSlot.dat")));
    // Else the game's as this program found it: slots a save grew since are no part of this mod.
    const QString keptTable = KeptOriginals(IniMetafileModel::SFX, archivePath, lookupPath).KeptPath(gameTable);
    const QString source = bOwnTable ? modTable : QFileInfo(keptTable).isFile() ? keptTable : gameTable;
    if (!QFileInfo(source).isFile()) {
        result.missingSlotTable = gameTable;
        return true;
    }
    // The toolkit's own rule, so a mod grows the slots exactly as a save into the game would.
    kivo::BankSlotFile table;
    try {
        table = kivo::BankSlotFile::Load(ToolkitPath(source));
    } catch (const kivo::FormatError &error) {
        throw QString::fromLocal8Bit(error.what());
    }
    const quint64 before = table.BufferSize();
    if (table.Grow(growths) == 0 && bOwnTable)
        return true;
    const std::vector<unsigned char> &bytes = table.Bytes();
    WriteWhole(modTable, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    result.bSlotTableWritten = true;
    result.bufferSize = table.BufferSize();
    result.bufferSizeBefore = before;
    return true;
}

bool ModExport::ExportStream(const QString &folder, Result &result) const
{
    // Packed against the mod's own lookup file when it has one, so that several stations can go
    // into one mod; else against a copy of the game's, which the game never sees changed.
    const QString modLookup = LookupPath(folder);
    const bool bCopied = !QFileInfo::exists(modLookup);
    if (bCopied && !QFile::copy(lookupPath, modLookup))
        throw QStringLiteral("Failed to copy ") + lookupPath + QStringLiteral(" into the mod folder.");
    KivoStreamProcessCaller caller;
    if (!caller.ImportArchive(CombinePath(folder, archiveName), archive.MetafilePath(), modLookup)) {
        if (bCopied)
            QFile::remove(modLookup);
        return false;
    }
    // The tool keeps the lookup file it rewrote; a copy of the game's own is no part of a mod.
    if (bCopied)
        QFile::remove(modLookup + QStringLiteral(".bak"));
    result.toolWarnings = caller.Warnings();
    return true;
}

QList<ModExport::Entry> ModExport::EntriesOf(const IniMetafileModel &model, const LoadedArchive &archive,
                                             const XmlMetaData &metaData)
{
    QList<Entry> entries;
    const auto add = [&](const IniMetafileItem *pItem, const QString &bank, int number) {
        const QString description = pItem->IsChanged() ? metaData.GetText(archive.VirtualPath(pItem->GetName())) : QString();
        entries.append({pItem->GetName(), bank, number, pItem->GetSampleRate(), pItem->IsChanged(), description});
    };
    for (int row = 0; row < model.rowCount(); ++row) {
        const IniMetafileItem *top = IniMetafileModel::ItemOf(model.index(row, 0));
        if (archive.Type() != IniMetafileModel::SFX)
            add(top, QString(), row + 1);
        else
            for (int child = 0; child < top->ChildCount(); ++child)
                add(top->Child(child), top->GetName(), child + 1);
    }
    return entries;
}

QStringList ModExport::LoopStartLines() const
{
    QStringList lines;
    if (archive.Type() != IniMetafileModel::SFX)
        return lines;
    const auto text = [](qint64 frame) { return frame < 0 ? QStringLiteral("none") : QString::number(frame); };
    for (const LoopStarts::Change &change : LoopStarts(archive.MetafilePath()).Changed()) {
        const auto entry = std::find_if(entries.cbegin(), entries.cend(), [&change](const Entry &candidate) {
            return candidate.number == change.sound && FolderReplace::BankNumber(candidate.bank) == change.bank;
        });
        if (entry != entries.cend())
            lines << entry->name + QStringLiteral(": loop start ") + text(change.original) + QStringLiteral(" -> ")
                         + text(change.current);
    }
    return lines;
}

void ModExport::Tell(const Result &result, OperationFeedback &feedback)
{
    switch (result.outcome) {
    case Outcome::Overlaps:
        feedback.Fail(QStringLiteral("The mod folder must lie outside the game folder, and must not put the "
                                     "archive where its unpacked files are. Nothing was written."));
        return;
    case Outcome::ForeignReadme:
        feedback.Fail(QStringLiteral("The folder already holds a README.txt of its own, which would be lost. "
                                     "Nothing was written; choose another folder."));
        return;
    case Outcome::LeavesFolder:
        feedback.Fail(QStringLiteral("Through a link, \"") + result.path
                      + QStringLiteral("\" leads out of the mod folder. Nothing was written."));
        return;
    default:
        break;
    }
    // What the export did before it failed, if it did, is told first, as it happened.
    if (!result.missingSlotTable.isEmpty())
        feedback.Warn(QStringLiteral("Warning"),
                      QStringLiteral("Some sounds are longer than their originals, but there is no BankSlot.dat at \"")
                          + result.missingSlotTable
                          + QStringLiteral("\" to give them room: the game's sound buffers may be too small for them."));
    if (result.bSlotTableWritten)
        feedback.Inform(QStringLiteral("Information"),
                        QStringLiteral("Some sounds are longer than their originals. BankSlot.dat in the mod folder "
                                       "gives them room in the game's sound buffers: %1 bytes in all instead of %2.")
                            .arg(result.bufferSize)
                            .arg(result.bufferSizeBefore));
    if (!result.toolWarnings.isEmpty())
        feedback.Inform(QStringLiteral("Warning"), QStringLiteral("KIVO reported the following warnings:\n") + result.toolWarnings);
    if (result.outcome == Outcome::Failed)
        feedback.Fail(result.message);
    else if (result.outcome == Outcome::Exported && result.loopStartsChanged > 0)
        feedback.Inform(QStringLiteral("Loop starts"),
                        QStringLiteral("README.txt lists %1 changed loop starts. Loop starts take effect only with a save "
                                       "into the game: a runtime loader reads the sounds, not their loop starts.")
                            .arg(result.loopStartsChanged));
}
