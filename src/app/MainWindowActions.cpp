#include "app/MainWindow.h"

// STUB: replaced by the actions work.
void MainWindow::CreateActions() {}
void MainWindow::CreateToolBar() {}
