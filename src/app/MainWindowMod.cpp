#include "app/MainWindow.h"

#include <QStatusBar>
#include <QTreeView>

#include <algorithm>

#include "app/LoadedArchive.h"
#include "app/WindowFeedback.h"
#include "app/archive/ModExport.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"

void MainWindow::ExportModFolder()
{
    if (!loadedArchive || !loadedArchive->TreeRow().isValid() || !entryModel || entryView->model() != entryModel.get())
        return;
    UpdateChangeMarks();
    QList<ModExport::Entry> entries;
    const auto add = [&](const IniMetafileItem *pItem, const QString &bank, int number) {
        const QString description = pItem->IsChanged() ? metaData.GetText(loadedArchive->VirtualPath(pItem->GetName())) : QString();
        entries.append({pItem->GetName(), bank, number, pItem->GetSampleRate(), pItem->IsChanged(), description});
    };
    for (int row = 0; row < entryModel->rowCount(); ++row) {
        const IniMetafileItem *top = IniMetafileModel::ItemOf(entryModel->index(row, 0));
        if (loadedArchive->Type() != IniMetafileModel::SFX)
            add(top, QString(), row + 1);
        else
            for (int child = 0; child < top->ChildCount(); ++child)
                add(top->Child(child), top->GetName(), child + 1);
    }
    if (std::none_of(entries.cbegin(), entries.cend(), [](const ModExport::Entry &entry) { return entry.bChanged; })) {
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

    WindowFeedback feedback(this);
    const ModExport::Result result = ModExport(*loadedArchive, archivePath, lookupPath, entries).Export(folder, feedback);
    switch (result.outcome) {
    case ModExport::Outcome::Overlaps:
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The mod folder must lie outside the game folder, and must not put the "
                                             "archive where its unpacked files are. Nothing was written."));
        return;
    case ModExport::Outcome::ForeignReadme:
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("The folder already holds a README.txt of its own, which would be lost. "
                                             "Nothing was written; choose another folder."));
        return;
    case ModExport::Outcome::LeavesFolder:
        UserDialogs::Critical(this, QStringLiteral("Error"),
                              QStringLiteral("Through a link, \"") + result.path
                                  + QStringLiteral("\" leads out of the mod folder. Nothing was written."));
        return;
    default:
        break;
    }
    // What the export did before it failed, if it did, is told first, as it happened.
    if (!result.missingSlotTable.isEmpty())
        UserDialogs::Warning(this, QStringLiteral("Warning"),
                             QStringLiteral("Some sounds are longer than their originals, but there is no BankSlot.dat at \"")
                                 + result.missingSlotTable
                                 + QStringLiteral("\" to give them room: the game's sound buffers may be too small for them."));
    if (result.bSlotTableWritten)
        UserDialogs::Information(this, QStringLiteral("Information"),
                                 QStringLiteral("Some sounds are longer than their originals. BankSlot.dat in the mod folder "
                                                "gives them room in the game's sound buffers: %1 bytes in all instead of %2.")
                                     .arg(result.bufferSize)
                                     .arg(result.bufferSizeBefore));
    ShowToolWarnings(result.toolWarnings);
    if (result.outcome == ModExport::Outcome::Failed)
        UserDialogs::Critical(this, QStringLiteral("Error"), result.message);
    else if (result.outcome == ModExport::Outcome::Exported)
        statusBar->showMessage(QStringLiteral("The changes were exported as a mod folder to ") + folder);
}
