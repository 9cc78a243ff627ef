#pragma once
#include <QDialog>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>

#include <functional>

#include "app/archive/GameAudioCheck.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The report of a check of the game's audio: a row per archive with its findings under it, and the
// safe repairs of the selected row, each asked for first and followed by a check of that archive
// again. Owns the rows it shows.
class GameCheckReport : public QDialog
{
    Q_OBJECT
public:
    // Checks `archives` under a progress box with "&Abort", then shows the report over pParent
    // (which deletes it when closed). Null when the user aborted.
    static GameCheckReport *CheckAndShow(QWidget *pParent, const QList<GameArchive> &archives,
                                         const QString &workingDirectory);

    GameCheckReport(const QList<GameAudioCheck::Row> &checked, const QList<GameArchive> &archives,
                    const QString &workingDirectory, QWidget *pParent = nullptr);

signals:
    // A repair is about to write the archive at this row of the archive tree: a list loaded from
    // it would undo the repair with its next save.
    void AboutToChange(const QPersistentModelIndex &treeRow);

private:
    void CreateWidgets();
    void ShowRow(int index);
    // The selected archive's findings in full, and the repairs it offers.
    void UpdateSelection();
    // Asks `question`, runs `repair` on the selected row, then checks again every archive
    // sharing its lookup file (BankSlot.dat and the lookup file are theirs too).
    void RunRepair(const QString &title, const QString &question, const std::function<bool(const GameArchive &)> &repair);
    int SelectedRow() const;

    QList<GameAudioCheck::Row> rows;
    QList<GameArchive> all;
    QString workingDirectory;
    QTreeWidget *view = nullptr;
    QLabel *details = nullptr;
    QPushButton *growButton = nullptr;
    QPushButton *putInPlaceButton = nullptr;
    QPushButton *restoreButton = nullptr;
};
