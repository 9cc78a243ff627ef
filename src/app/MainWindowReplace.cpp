#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QProgressDialog>
#include <QStatusBar>

#include "app/FolderReplace.h"
#include "app/FolderReplaceDialog.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"

namespace
{
const QString folderTitle = QStringLiteral("Replace from folder");

// A mod folder holds a few hundred files; walking a whole home folder would freeze the window
// and bury the few matches among thousands of others.
constexpr int mostFilesInFolder = 10000;

// The files under `folder`, relative to it and sorted; hidden ones and linked folders are left
// out. False when there are more than mostFilesInFolder.
bool ListFiles(const QString &folder, QStringList &relativePaths)
{
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        relativePaths << root.relativeFilePath(it.next());
        if (relativePaths.size() > mostFilesInFolder)
            return false;
    }
    relativePaths.sort(Qt::CaseInsensitive);
    return true;
}

// What of a dropped file's path can name an entry: its bank folder and name for a sound, its name
// for a track. The folders above do not count: the user dropped it on this archive.
QString DroppedName(const QString &path, bool bTracks)
{
    const QFileInfo info(path);
    return bTracks ? info.fileName() : QFileInfo(info.path()).fileName() + QLatin1Char('/') + info.fileName();
}

// Shown at once: a folder's files go in one after another, and "&Abort" must be there from the first.
void SetUpProgress(QProgressDialog &progress)
{
    progress.setObjectName(QStringLiteral("folderReplaceProgress"));
    progress.setWindowTitle(QStringLiteral("Please wait"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.show();
}

void ShowSummary(QWidget *pParent, const QString &count, bool bAborted, const QStringList &refused)
{
    QString summary = count;
    if (bAborted)
        summary += QStringLiteral("\nAborted: the entries not replaced yet are as they were.");
    if (refused.isEmpty()) {
        UserDialogs::Information(pParent, folderTitle, summary);
        return;
    }
    summary += QStringLiteral("\n\nRefused:\n") + refused.join(QLatin1Char('\n'));
    UserDialogs::Warning(pParent, folderTitle, summary);
}

bool SameFile(const QString &first, const QString &second)
{
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath();
}
}

bool MainWindow::MayReplace(const QModelIndex &index, const QString &target)
{
    // The file counts as well as the row: the archive that plays may have been loaded again.
    if (index == playingIndex || IsPlayingFile(target)) {
        UserDialogs::Information(this, QStringLiteral("Warning"),
                                 QStringLiteral("You can't replace the file, that is currently playing. "
                                                "Please stop playing the file, before replacing it."));
        return false;
    }
    if (!loadedArchive || !IniMetafileModel::ItemOf(index))
        return false;
    if (target.isNull()) {
        ReportEntryOutsideArchive();
        return false;
    }
    return true;
}

void MainWindow::ReplaceAndReport(const QModelIndex &index, const QString &target, const QString &chosen)
{
    // Moving the entry's file aside to copy it onto itself would only fail.
    if (SameFile(chosen, target)) {
        UserDialogs::Information(this, QStringLiteral("Note"), QStringLiteral("The chosen file already is the entry's file."));
        return;
    }
    QHash<QString, double> trimSeconds;
    if (!AskAboutLongSounds({{index, target, chosen}}, trimSeconds))
        return;
    const AudioConverter::Result result = ReplaceEntryFile(index, target, chosen, trimSeconds.value(target));
    if (result.outcome == AudioConverter::Outcome::Failed)
        UserDialogs::Critical(this, QStringLiteral("Error"), result.message);
    else if (result.outcome == AudioConverter::Outcome::Done)
        statusBar->showMessage(QStringLiteral("Item was successfull replaced."));
}

void MainWindow::ReplaceFromFolder()
{
    if (!loadedArchive || !entryModel) {
        UserDialogs::Information(this, folderTitle, QStringLiteral("Please open the archive whose entries should be replaced."));
        return;
    }
    const QString folder = UserDialogs::ExistingDirectory(this, QStringLiteral("Select the folder with the replacements"),
                                                          lastImportDirectory);
    if (folder.isEmpty())
        return;
    lastImportDirectory = folder;
    ReplaceFolder(folder);
}

void MainWindow::ReplaceFolder(const QString &folder)
{
    QStringList files;
    if (!ListFiles(folder, files)) {
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The folder %1 holds more than %2 files. Please choose the folder that "
                                             "holds the replacements.").arg(folder).arg(mostFilesInFolder));
        return;
    }
    QStringList paths;
    for (const QString &file : std::as_const(files))
        paths << QDir(folder).filePath(file);
    ReplaceMatching(QStringLiteral("the files in ") + QDir::toNativeSeparators(folder), files, paths);
}

void MainWindow::DropFiles(const QPersistentModelIndex &index, const QStringList &paths)
{
    if (!loadedArchive || !entryModel || paths.isEmpty())
        return;
    if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
        ReplaceFolder(paths.first());
        return;
    }
    const bool bTracks = loadedArchive->Type() != IniMetafileModel::SFX;
    const bool bOnEntry = index.isValid() && index.model() == entryModel.get() && (bTracks || index.parent().isValid());
    if (paths.size() == 1 && bOnEntry) {
        const QString target = EntryFilePath(index);
        if (MayReplace(index, target))
            ReplaceAndReport(index, target, paths.first());
        return;
    }
    QStringList names;
    for (const QString &path : paths)
        names << DroppedName(path, bTracks);
    ReplaceMatching(QStringLiteral("the dropped files"), names, paths);
}

void MainWindow::ReplaceMatching(const QString &source, const QStringList &names, const QStringList &paths)
{
    const bool bTracks = loadedArchive->Type() != IniMetafileModel::SFX;
    FolderReplace::Plan plan = FolderReplace::MatchFiles(names, bTracks, ArchiveNames(),
                                                         [this](const FolderReplace::EntryKey &key) {
                                                             return EntryIndexOf(key).isValid();
                                                         });
    // A name that matched is unique among `names`: files that share an entry never match.
    QHash<QString, QString> pathOf;
    for (qsizetype i = 0; i < names.size(); ++i)
        pathOf.insert(names[i], paths[i]);
    QList<QPair<QString, QString>> rows;
    for (qsizetype i = 0; i < plan.matches.size(); ++i) {
        const FolderReplace::Match &match = plan.matches[i];
        const QModelIndex index = EntryIndexOf(match.entry);
        if (SameFile(pathOf.value(match.file), EntryFilePath(index))) {
            plan.unmatched.append({match.file, QStringLiteral("it is the entry's own file")});
            plan.matches.removeAt(i--);
            continue;
        }
        rows.append({IniMetafileModel::ItemOf(index)->GetName(), match.file});
    }
    if (plan.matches.isEmpty()) {
        const QString example = bTracks ? QStringLiteral("Track_001.ogg") : QStringLiteral("Bank_001/sound_001.wav");
        UserDialogs::Information(this, folderTitle,
                                 QStringLiteral("None of %1 can replace an entry of the open archive. Files are "
                                                "matched by names like %2; a single file dropped on an entry "
                                                "replaces that entry.").arg(source, example));
        return;
    }
    {
        FolderReplaceDialog dialog(source, rows, plan.unmatched, this);
        if (UserDialogs::Exec(&dialog, dialog.Text()) != QMessageBox::Ok)
            return;
    }
    QList<PlannedReplace> planned;
    for (const FolderReplace::Match &match : std::as_const(plan.matches)) {
        const QModelIndex index = EntryIndexOf(match.entry);
        planned.append({index, EntryFilePath(index), pathOf.value(match.file)});
    }
    QHash<QString, double> trimSeconds;
    if (!AskAboutLongSounds(planned, trimSeconds))
        return;

    QProgressDialog progress(QStringLiteral("Replacing entries..."), QStringLiteral("&Abort"), 0, int(rows.size()), this);
    SetUpProgress(progress);
    int replaced = 0;
    bool bAborted = false;
    QStringList refused;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        // Between files only: each file goes in whole or not at all.
        QCoreApplication::processEvents();
        if (progress.wasCanceled()) {
            bAborted = true;
            break;
        }
        progress.setLabelText(QStringLiteral("Replacing ") + rows[i].first + QStringLiteral("..."));
        const QModelIndex index = EntryIndexOf(plan.matches[i].entry);
        const QString target = EntryFilePath(index);
        const QString line = rows[i].first + QStringLiteral(" <- ") + rows[i].second + QStringLiteral(": ");
        if (target.isNull()) {
            refused << line + QStringLiteral("the entry's file name leads outside the archive folder");
        } else if (index == playingIndex || IsPlayingFile(target)) {
            refused << line + QStringLiteral("it is playing");
        } else {
            const AudioConverter::Result result = ReplaceEntryFile(index, target, pathOf.value(plan.matches[i].file),
                                                                   trimSeconds.value(target));
            if (result.outcome == AudioConverter::Outcome::Aborted) {
                bAborted = true;
                break;
            }
            if (result.outcome == AudioConverter::Outcome::Done)
                ++replaced;
            else
                refused << line + result.message;
        }
        progress.setValue(int(i + 1));
    }
    progress.hide();

    const QString count = QStringLiteral("%1 of %2 entries replaced.").arg(replaced).arg(rows.size());
    ShowSummary(this, count, bAborted, refused);
    if (replaced > 0)
        statusBar->showMessage(count);
}

QModelIndex MainWindow::EntryIndexOf(const FolderReplace::EntryKey &key) const
{
    if (!entryModel || !key.IsValid())
        return {};
    if (key.bank == 0)
        return entryModel->GetType() == IniMetafileModel::SFX ? QModelIndex() : entryModel->index(key.number - 1, 0);
    // Bank rows are the banks whose sections exist, so a row number need not be the bank's.
    for (int row = 0; row < entryModel->rowCount(); ++row) {
        const QModelIndex bank = entryModel->index(row, 0);
        if (FolderReplace::BankNumber(IniMetafileModel::ItemOf(bank)->GetName()) == key.bank)
            return entryModel->index(key.number - 1, 0, bank);
    }
    return {};
}

QStringList MainWindow::ArchiveNames() const
{
    QStringList names {QFileInfo(loadedArchive->Folder()).fileName(), entryModel->GetName(), entryModel->GetBasename()};
    const QString archivePath = loadedArchive->ArchivePath();
    if (!archivePath.isNull())
        names << FileNameOf(archivePath);
    return names;
}
