#include "app/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>
#include <vector>

#include "app/CombinePath.h"
#include "app/ConversionDialog.h"
#include "app/KeptOriginals.h"
#include "app/LoadedArchive.h"
#include "app/ModFolder.h"
#include "dialogs/UserDialogs.h"
#include "audio/SoundFile.h"
#include "format/BankSlotFile.h"
#include "format/FormatError.h"
#include "game/PathCase.h"
#include "metafile/IniMetafileItem.h"
#include "tool/KivoStreamProcessCaller.h"

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

void MainWindow::ExportModFolder()
{
    if (!loadedArchive || !loadedArchive->TreeRow().isValid() || !entryModel || entryView->model() != entryModel.get())
        return;
    UpdateChangeMarks();
    QModelIndexList changed;
    for (int row = 0; row < entryModel->rowCount(); ++row) {
        const QModelIndex top = entryModel->index(row, 0);
        for (int child = 0; child < entryModel->rowCount(top); ++child)
            changed << entryModel->index(child, 0, top);
        changed << top;
    }
    changed.removeIf([](const QModelIndex &index) { return !IniMetafileModel::ItemOf(index)->IsChanged(); });
    if (changed.isEmpty()) {
        UserDialogs::Information(this, QStringLiteral("Note"),
                                 QStringLiteral("No entry of the opened archive has been changed: there is nothing to export."));
        return;
    }
    if (!loadedArchive->HasGameFolder()) {
        if (!CheckGtaFolder())
            return;
        loadedArchive->SetGameFolder(gtaDirectory);
    }
    QString archivePath, lookupPath;
    if (!ResolveGamePath(loadedArchive->ArchivePath(), archivePath)
        || !ResolveGamePath(loadedArchive->LookupFilePath(), lookupPath))
        return;
    const QString folder = UserDialogs::ExistingDirectory(this, QStringLiteral("Select a folder for the mod"),
                                                          lastExportDirectory);
    if (folder.isEmpty())
        return;
    lastExportDirectory = folder;
    const QString archiveName = FileNameOf(archivePath);
    // A mod that never touches the game: nothing may be written into the game folder, nor over
    // the unpacked files it is made from.
    if (FoldersOverlap(folder, loadedArchive->GameFolder())
        || FoldersOverlap(CombinePath(folder, archiveName), loadedArchive->Folder())) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The mod folder must lie outside the game folder, and must not put the "
                                             "archive where its unpacked files are. Nothing was written."));
        return;
    }

    const QString readmePath = CombinePath(folder, QStringLiteral("README.txt"));
    const QFileInfo readmeInfo(readmePath);
    QString existingReadme;
    try {
        // Only a plain file is read: a pipe under that name would never end.
        if (readmeInfo.isFile())
            existingReadme = QString::fromUtf8(ReadWhole(readmePath));
        else if (readmeInfo.exists() || readmeInfo.isSymLink())
            existingReadme = QStringLiteral("?");
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return;
    }
    if (!existingReadme.isNull() && !ModFolder::IsOwnReadme(existingReadme)) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The folder already holds a README.txt of its own, which would be lost. "
                                             "Nothing was written; choose another folder."));
        return;
    }
    // Only the chosen folder was checked: a link inside it could still carry a write into the game
    // folder or anywhere else.
    const QString leaving = ModFolder::FirstLeavingFolder(folder, QStringList {readmePath}
                                                                        + ModFolderPaths(folder, archiveName, lookupPath));
    if (!leaving.isNull()) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("Through a link, \"") + leaving
                                  + QStringLiteral("\" leads out of the mod folder. Nothing was written."));
        return;
    }
    QStringList readme;
    for (const QModelIndex &index : std::as_const(changed)) {
        const QString name = IniMetafileModel::ItemOf(index)->GetName();
        const QString text = metaData.GetText(loadedArchive->VirtualPath(name));
        readme << name + QStringLiteral(": ")
                      + (text.isEmpty() ? QStringLiteral("(no description)")
                                        : text.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QStringLiteral("; ")));
    }
    try {
        const bool bDone = loadedArchive->Type() == IniMetafileModel::SFX
                         ? ExportModSounds(changed, folder, archiveName, lookupPath)
                               && RemoveRevertedModSounds(ModFolder::ReadmeEntries(existingReadme, archiveName), folder, archiveName)
                         : ExportModStream(folder, archiveName, lookupPath);
        if (!bDone)
            return;
        WriteWhole(readmePath, ModFolder::MergeReadme(existingReadme, archiveName, readme).toUtf8());
    } catch (const QString &message) {
        UserDialogs::Critical(this, QStringLiteral("Error"), message);
        return;
    }
    statusBar->showMessage(QStringLiteral("The changes were exported as a mod folder to ") + folder);
}

QStringList MainWindow::ModFolderPaths(const QString &folder, const QString &archiveName, const QString &lookupPath) const
{
    QStringList paths {CombinePath(folder, archiveName)};
    if (loadedArchive->Type() != IniMetafileModel::SFX) {
        // The tool keeps the old lookup file and holds its lock beside it.
        const QString modLookup = ModLookupPath(folder, lookupPath);
        return paths << modLookup << modLookup + QStringLiteral(".bak") << modLookup + QStringLiteral(".lock");
    }
    paths << CombinePath(folder, QStringLiteral("BankSlot.dat"));
    // Every sound: changed ones are written, reverted ones that an earlier export wrote removed.
    for (int bankRow = 0; bankRow < entryModel->rowCount(); ++bankRow) {
        const QModelIndex bank = entryModel->index(bankRow, 0);
        for (int row = 0; row < entryModel->rowCount(bank); ++row)
            paths << ModSoundPath(folder, archiveName, entryModel->index(row, 0, bank));
    }
    return paths;
}

QString MainWindow::ModLookupPath(const QString &folder, const QString &lookupPath)
{
    return CombinePath(folder, FileNameOf(lookupPath));
}

QString MainWindow::ModSoundPath(const QString &folder, const QString &archiveName, const QModelIndex &index) const
{
    // Loaders find a sound by its bank's number in the package and its own in the bank,
    // whatever the metafile named the file.
    const IniMetafileItem *bank = IniMetafileModel::ItemOf(index)->GetParent();
    return CombinePath(CombinePath(CombinePath(folder, archiveName), bank->GetName()),
                       QStringLiteral("sound_%1.wav").arg(index.row() + 1, 3, 10, QLatin1Char('0')));
}

bool MainWindow::RemoveRevertedModSounds(const QStringList &exportedBefore, const QString &folder,
                                         const QString &archiveName)
{
    // A sound an earlier export wrote but that is the original again would go on replacing it.
    for (int bankRow = 0; bankRow < entryModel->rowCount(); ++bankRow) {
        const QModelIndex bank = entryModel->index(bankRow, 0);
        for (int row = 0; row < entryModel->rowCount(bank); ++row) {
            const QModelIndex sound = entryModel->index(row, 0, bank);
            const IniMetafileItem *item = IniMetafileModel::ItemOf(sound);
            const QString stale = ModSoundPath(folder, archiveName, sound);
            if (item->IsChanged() || !exportedBefore.contains(item->GetName()) || !QFileInfo(stale).isFile())
                continue;
            if (!QFile::remove(stale))
                throw QStringLiteral("Failed to remove ") + stale + QStringLiteral(", which is the original again.");
            QDir().rmdir(QFileInfo(stale).absolutePath());
        }
    }
    return true;
}

bool MainWindow::ExportModSounds(const QModelIndexList &changed, const QString &folder, const QString &archiveName,
                                 const QString &lookupPath)
{
    std::vector<kivo::Growth> growths;
    QMap<const IniMetafileItem *, kivo::Growth> banks;
    for (const QModelIndex &index : changed) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        const IniMetafileItem *bank = item->GetParent();
        const QString target = ModSoundPath(folder, archiveName, index);
        const QString source = EntryFilePath(index);
        if (source.isNull())
            throw QStringLiteral("The entry's file name leads outside the archive folder.");
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            throw QStringLiteral("Failed to create the folder ") + QFileInfo(target).absolutePath();
        const int rate = item->GetSampleRate() > 0 ? item->GetSampleRate() : AudioConverter::FormOf(source).sampleRate;
        // Loaders take nothing but mono 16-bit PCM with a plain header, which is what the
        // converter writes; a sound already in that form goes as it is.
        const AudioForm form {false, rate, 1};
        if (AudioConverter::HasForm(source, form)) {
            WriteWhole(target, ReadWhole(source));
        } else {
            ConversionDialog dialog(this);
            const AudioConverter::Result result = dialog.Run(source, target, form);
            if (result.outcome == AudioConverter::Outcome::Aborted)
                return false;
            if (result.outcome == AudioConverter::Outcome::Failed)
                throw result.message;
        }
        const quint32 oldSize = PcmBytes(loadedArchive->OriginalFilePath(item->GetName()));
        const quint32 newSize = PcmBytes(target);
        growths.push_back({oldSize, newSize});
        banks[bank];  // summed below over all its sounds
    }
    for (auto it = banks.begin(); it != banks.end(); ++it) {
        for (int row = 0; row < it.key()->ChildCount(); ++row) {
            const QString name = it.key()->Child(row)->GetName();
            const QString original = loadedArchive->OriginalFilePath(name);
            const QString current = loadedArchive->FilePath(name);
            it->after += PcmBytes(current);
            it->before += PcmBytes(QFileInfo(original).isFile() ? original : current);
        }
        growths.push_back(*it);
    }
    if (std::none_of(growths.cbegin(), growths.cend(), [](const kivo::Growth &growth) { return growth.after > growth.before; }))
        return true;

    // The mod's own table when it has one: another package exported before may have grown it.
    const QString modTable = CombinePath(folder, QStringLiteral("BankSlot.dat"));
    QString gameTable;
    if (!QFileInfo(modTable).isFile()
        && !ResolveGamePath(CombinePath(QFileInfo(lookupPath).absolutePath(), QStringLiteral("BankSlot.dat")), gameTable))
        return false;
    // Else the game's as this program found it: slots a save grew since are no part of this mod.
    const QString keptTable = KeptOriginals(IniMetafileModel::SFX, loadedArchive->ArchivePath(), lookupPath).KeptPath(gameTable);
    const QString source = QFileInfo(modTable).isFile() ? modTable : QFileInfo(keptTable).isFile() ? keptTable : gameTable;
    if (!QFileInfo(source).isFile()) {
        UserDialogs::Warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Some sounds are longer than their originals, but there is no BankSlot.dat at \"")
                                 + gameTable + QStringLiteral("\" to give them room: the game's sound buffers may be too small for them."));
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
    if (table.Grow(growths) == 0 && source == modTable)
        return true;
    const std::vector<unsigned char> &bytes = table.Bytes();
    WriteWhole(modTable, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    UserDialogs::Information(this, QStringLiteral("Information"),
                             QStringLiteral("Some sounds are longer than their originals. BankSlot.dat in the mod folder "
                                            "gives them room in the game's sound buffers: %1 bytes in all instead of %2.")
                                 .arg(table.BufferSize())
                                 .arg(before));
    return true;
}

bool MainWindow::ExportModStream(const QString &folder, const QString &archiveName, const QString &lookupPath)
{
    // Packed against the mod's own lookup file when it has one, so that several stations can go
    // into one mod; else against a copy of the game's, which the game never sees changed.
    const QString modLookup = ModLookupPath(folder, lookupPath);
    const bool bCopied = !QFileInfo::exists(modLookup);
    if (bCopied && !QFile::copy(lookupPath, modLookup))
        throw QStringLiteral("Failed to copy ") + lookupPath + QStringLiteral(" into the mod folder.");
    KivoStreamProcessCaller caller;
    if (!caller.ImportArchive(CombinePath(folder, archiveName), loadedArchive->MetafilePath(), modLookup)) {
        if (bCopied)
            QFile::remove(modLookup);
        return false;
    }
    // The tool keeps the lookup file it rewrote; a copy of the game's own is no part of a mod.
    if (bCopied)
        QFile::remove(modLookup + QStringLiteral(".bak"));
    ShowToolWarnings(caller.Warnings());
    return true;
}
