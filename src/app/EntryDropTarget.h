#pragma once
#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>

class QAbstractItemView;
class QEvent;

// Takes files dropped from a file manager on a view's rows: accepts drags of local files over the
// view's viewport and reports each drop with the row under it. A child of the view.
class EntryDropTarget : public QObject
{
    Q_OBJECT
public:
    explicit EntryDropTarget(QAbstractItemView *pView);

signals:
    // `index` is invalid when the files fell beside every row.
    void FilesDropped(const QPersistentModelIndex &index, const QStringList &paths);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    QAbstractItemView *view = nullptr;
    // Compared by address only: while the view is destroyed its viewport still sends events, and
    // asking the half-destroyed view for its viewport then is undefined.
    QObject *viewport = nullptr;
};
