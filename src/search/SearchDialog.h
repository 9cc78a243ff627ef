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
// and makes each hit the current entry of the main window's entry view.
class SearchDialog : public QFrame
{
    Q_OBJECT
public:
    explicit SearchDialog(MainWindow *pParent);

public slots:
    void Search();
    void SearchNext();
    void SearchPrevious();
    void SearchFrom(QModelIndex &index, IniMetafileModel *pModel, const QString &searchText, bool bForward);
    bool CheckLastsearchText(QString newSearchText);
    bool Compare(QModelIndex index, QString searchText);
    void SetKeyboardFocus();
    void SelectSearchtext();

public:
    // The entry model was replaced: earlier hits say nothing about the new one, and a search
    // that believes it has hit before wraps around for ever on a list without a match.
    void ForgetHits() { found = false; }

private:
    MainWindow *mainWindow = nullptr;
    QPushButton *findButton = nullptr;
    QPushButton *findNextButton = nullptr;
    QPushButton *findPreviousButton = nullptr;
    QLineEdit *searchEdit = nullptr;
    QCheckBox *metadataCheckBox = nullptr;
    QString lastSearchText;
    bool found = false;
};
