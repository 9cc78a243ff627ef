#include "app/archive/GameArchive.h"

#include <QFileInfo>
#include <QMap>

#include "app/CombinePath.h"
#include "app/archive/GameSave.h"
#include "app/archive/LoadedArchive.h"
#include "app/archive/OperationFeedback.h"
#include "game/PathCase.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

GameArchive::GameArchive(const QModelIndex &row, const QString &gameFolder)
    : GameArchive(*static_cast<const TreeItem *>(row.internalPointer()), gameFolder, row)
{
}

GameArchive::GameArchive(const TreeItem &item, const QString &gameFolder, const QModelIndex &row)
    : treeRow(row)
    , name(item.GetName())
    , type(item.IsSfx() ? IniMetafileModel::SFX : IniMetafileModel::STREAM)
    , archivePath(QFileInfo(ResolvePathCase(CombinePath(gameFolder, item.GetArchivePath()))).absoluteFilePath())
    , lookupPath(QFileInfo(ResolvePathCase(CombinePath(gameFolder, item.GetBankFilePath()))).absoluteFilePath())
{
}

QList<GameArchive> GameArchive::AllOf(const TreeModel &tree, const QString &gameFolder, QStringList *pErrors)
{
    QList<GameArchive> archives;
    for (const QModelIndex &index : tree.ArchiveIndexes()) {
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if (!item->IsSfx() && !item->IsStream())
            continue;
        try {
            archives.append(GameArchive(index, gameFolder));
        } catch (const QString &message) {
            if (pErrors)
                *pErrors << message;
        }
    }
    return archives;
}

bool GameArchive::Unpack(const QString &workingDirectory, const QString &stationNameFile, QString &warnings) const
{
    KivoSfxProcessCaller sfxCaller;
    KivoStreamProcessCaller streamCaller;
    const bool bSfx = type == IniMetafileModel::SFX;
    if (bSfx ? !sfxCaller.ExportArchive({archivePath}, workingDirectory, lookupPath)
             : !streamCaller.ExportArchive({archivePath}, workingDirectory, stationNameFile))
        return false;
    warnings = bSfx ? sfxCaller.Warnings() : streamCaller.Warnings();
    return true;
}

qsizetype GameArchive::NotSavedIn(const QString &folder) const
{
    try {
        return EntryStates(type, archivePath, lookupPath).Compare(folder).NotSavedCount();
    } catch (const QString &) {
        return ChangedEntries(folder).size();
    }
}

void GameArchive::ExtractEntry(const QString &entry, const QString &outputFile, bool bKeptOriginal,
                               const EntryStates::ToolRunner &runner) const
{
    EntryStates(type, archivePath, lookupPath, runner).Extract(entry, outputFile, bKeptOriginal);
}

bool GameArchive::MayRestore(OperationFeedback &feedback) const
{
    if (!Originals().CanRestore()) {
        feedback.Inform(QStringLiteral("Information"),
                        QStringLiteral("No original of ") + name
                            + QStringLiteral(" is kept: it has not been saved by this program. Nothing was changed."));
        return false;
    }
    return feedback.Confirm(QStringLiteral("Restore original archive"),
                            QStringLiteral("Put the original ") + name
                                + QStringLiteral(" back into the game folder?\nEverything saved into it since will be lost."));
}

bool GameArchive::AgreedToRestoreAll(OperationFeedback &feedback, QList<GameArchive> &archives)
{
    archives.removeIf([](const GameArchive &archive) { return !archive.Originals().CanRestore(); });
    if (archives.isEmpty()) {
        feedback.Inform(QStringLiteral("Information"),
                        QStringLiteral("No original is kept: nothing has been saved by this program. Nothing was changed."));
        return false;
    }
    return feedback.Ask(QStringLiteral("Restore all original audio"),
                        QStringLiteral("Put every kept original back into the game folder?\n"
                                       "Everything saved into the game since will be lost."));
}

bool GameArchive::RestoreOriginal(OperationFeedback &feedback, QString &warnings) const
{
    return GameSave::PutBack(feedback, Originals(), warnings);
}

bool GameArchive::RestoreOriginals(OperationFeedback &feedback, const QList<GameArchive> &restored,
                                   const QList<GameArchive> &all, QString &warnings)
{
    QStringList allWarnings;
    for (const GameArchive &archive : restored) {
        QString archiveWarnings;
        if (!archive.RestoreOriginal(feedback, archiveWarnings))
            return false;
        if (!archiveWarnings.isEmpty())
            allWarnings << archiveWarnings;
    }
    warnings = allWarnings.join(QLatin1Char('\n'));
    for (const GameArchive &archive : restored) {
        if (archive.type == IniMetafileModel::SFX)
            return RestoreBankSlots(feedback, archive.Originals(), all);
    }
    return true;
}

bool GameArchive::RestoreBankSlots(OperationFeedback &feedback, const KeptOriginals &originals,
                                   const QList<GameArchive> &archives)
{
    if (originals.Type() != IniMetafileModel::SFX)
        return true;
    QStringList sfxArchives;
    for (const GameArchive &archive : archives) {
        if (archive.type == IniMetafileModel::SFX && archive.lookupPath == originals.GameLookupFilePath())
            sfxArchives << archive.archivePath;
    }
    try {
        originals.RestoreBankSlots(sfxArchives);
        return true;
    } catch (const QString &message) {
        feedback.Fail(message);
        return false;
    }
}

void GameArchive::RepairInterruptedSaves(OperationFeedback &feedback, const QList<GameArchive> &archives)
{
    // A save journals beside the lookup file it rewrites.
    QMap<QString, QStringList> archivesOfLookupFile;
    for (const GameArchive &archive : archives)
        archivesOfLookupFile[archive.lookupPath] << archive.archivePath;
    for (auto it = archivesOfLookupFile.cbegin(); it != archivesOfLookupFile.cend(); ++it)
        GameSave::RepairInterrupted(feedback, it.key(), it.value());
}
