#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include "app/archive/GameArchive.h"

class QAbstractItemModel;
class QLabel;
class QStatusBar;
class QThread;
class OpenedArchive;
class TreeModel;

// The marks of what changed: the open archive's entries with their count in the status bar's
// corner, and in the archive tree the archives whose unpacked folder holds entries not saved into
// the game yet. The tree's marks read every unpacked folder and list every archive, so they are
// made in the background.
class ChangeMarks : public QObject
{
    Q_OBJECT
public:
    // The count goes into the corner of `statusBar`.
    explicit ChangeMarks(QStatusBar *statusBar, QObject *pParent = nullptr);
    // Waits for a comparison under way: its tools must not outlive the window that started them.
    ~ChangeMarks() override;

    // Marks the entries of `opened` when `shown` is its model (else clears the count), and its
    // archive's row of `tree`. When it was `bJustOpened`, the status bar says what the marks are
    // measured against, once rather than after every replace.
    void Update(OpenedArchive &opened, const QAbstractItemModel *shown, TreeModel *tree, bool bJustOpened = false);

    // Compares the archives of `tree` unpacked in `workingDirectory` with their game's archives in
    // `gameFolder` anew and marks their rows when done. Asked again meanwhile, it compares once
    // more after the run under way.
    void RefreshTree(TreeModel *tree, const QString &gameFolder, const QString &workingDirectory);

signals:
    void TreeMarked();

private:
    void StartTree();

    QStatusBar *statusBar;
    QLabel *count;
    QPointer<TreeModel> tree;
    QList<GameArchive> archives;
    QString workingDirectory;
    bool bAgain = false;
    QThread *pThread = nullptr;
};
