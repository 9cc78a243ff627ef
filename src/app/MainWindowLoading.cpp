#include "app/MainWindow.h"

#include "tree/TreeItem.h"

// STUB: replaced by the loading and saving work.
void MainWindow::SoundFileSelected(QModelIndex) {}
void MainWindow::LoadContent(TreeItem *) {}
void MainWindow::SetModel(QString, IniMetafileModel::ArchiveType) {}
void MainWindow::ExportSfxArchive(TreeItem *) {}
void MainWindow::ExportStreamArchive(TreeItem *) {}
void MainWindow::InstallEntryModel(IniMetafileModel *) {}
bool MainWindow::ContentAvailable() { return false; }
void MainWindow::SaveArchive() {}
