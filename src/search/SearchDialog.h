#pragma once
#include <QFrame>
#include <QModelIndex>
#include <QString>

class MainWindow;
class IniMetafileModel;
class QPushButton;
class QLineEdit;
class QCheckBox;

// The search bar under the views: finds entries of the loaded archive by name or by metadata
// and makes each hit the current entry of the main window's entry view. Owns its widgets; the
// search position lives in the main window.
class SearchDialog : public QFrame
{
    Q_OBJECT
public:
    explicit SearchDialog(MainWindow *pParent);

    // Forgets the search position and that anything was found. Call it whenever the entry view
    // gets another model, before the old one is freed: no later command may touch its entries.
    void ForgetHits();

public slots:
    void Search();
    void SearchNext();
    void SearchPrevious();
    // Walks from `index` (the first position looked at) to the next hit in the given direction.
    // Wraps around at the end of the list only when something was found since the text changed,
    // and at most once per call.
    void SearchFrom(QModelIndex &index, IniMetafileModel *pModel, const QString &searchText, bool bForward);
    // True when `newSearchText` repeats the last non-empty search text; otherwise remembers it.
    bool CheckLastsearchText(QString newSearchText);
    // Case-insensitive substring test of the entry's name, or of its metadata text while
    // "Search by metadata" is ticked.
    bool Compare(QModelIndex index, QString searchText);
    void SetKeyboardFocus();
    void SelectSearchtext();

private:
    class EntryMatcher;

    // The common start of the three commands: null when there is nothing to search.
    IniMetafileModel *BeginCommand(QString &searchText);

    MainWindow *mainWindow = nullptr;
    QPushButton *findButton = nullptr;
    QPushButton *findNextButton = nullptr;
    QPushButton *findPreviousButton = nullptr;
    QLineEdit *searchEdit = nullptr;
    QCheckBox *metadataCheckBox = nullptr;
    QString lastSearchText;
    bool found = false;
};
