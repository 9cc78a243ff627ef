#include "app/MainWindow.h"

#include "search/SearchDialog.h"

void MainWindow::Search()
{
    searchBar->SetKeyboardFocus();
    searchBar->SelectSearchtext();
}

void MainWindow::SearchNext()
{
    searchBar->SearchNext();
}

void MainWindow::SearchPrevious()
{
    searchBar->SearchPrevious();
}
