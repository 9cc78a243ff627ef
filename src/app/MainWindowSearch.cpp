#include "app/MainWindow.h"

// STUB: replaced by the search work.
void MainWindow::Search() {}
void MainWindow::SearchNext() {}
void MainWindow::SearchPrevious() {}
