#include "app/MainWindow.h"

// STUB: replaced by the playback navigation work.
bool MainWindow::Play(QModelIndex) { return false; }
void MainWindow::PlayCurrent() {}
void MainWindow::PlayNext() {}
void MainWindow::PlayPrevious() {}
void MainWindow::Break() {}
void MainWindow::StopPlaying() {}
void MainWindow::ResetPlayingIndex() {}
void MainWindow::ExpandAll() {}
void MainWindow::ExpandRootElements() {}
void MainWindow::ShowInfoDialog() {}
void MainWindow::UpdateMetalist(QModelIndex) {}
QString MainWindow::GetVirtualItemPath(QModelIndex) { return {}; }
QString MainWindow::EntryFilePath(const QModelIndex &) const { return {}; }
