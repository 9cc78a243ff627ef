#include "app/MainWindow.h"

#include <QDir>

// STUB: replaced by the replace, clear and export work.
void MainWindow::Replace() {}
void MainWindow::ClearWorkingDirectory() {}
bool MainWindow::RemoveSubdirectories(const QDir &) { return false; }
bool MainWindow::RemoveFiles(const QDir &) { return false; }
void MainWindow::Export() {}
