#include "search/SearchDialog.h"

#include "app/MainWindow.h"

// STUB: replaced by the search work.
SearchDialog::SearchDialog(MainWindow *pParent) : QFrame(pParent), mainWindow(pParent) {}
void SearchDialog::Search() {}
void SearchDialog::SearchNext() {}
void SearchDialog::SearchPrevious() {}
void SearchDialog::SearchFrom(QModelIndex &, IniMetafileModel *, const QString &, bool) {}
bool SearchDialog::CheckLastsearchText(QString) { return false; }
bool SearchDialog::Compare(QModelIndex, QString) { return false; }
void SearchDialog::SetKeyboardFocus() {}
void SearchDialog::SelectSearchtext() {}
