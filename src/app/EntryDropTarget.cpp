#include "app/EntryDropTarget.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace
{
// The local files a drag carries; empty when it carries anything else too.
QStringList LocalFiles(const QMimeData *pData)
{
    QStringList paths;
    if (!pData || !pData->hasUrls())
        return paths;
    const QList<QUrl> urls = pData->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}
}

EntryDropTarget::EntryDropTarget(QAbstractItemView *pView) : QObject(pView), view(pView), viewport(pView->viewport())
{
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

bool EntryDropTarget::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    const QEvent::Type type = pEvent->type();
    if ((type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) || pWatched != viewport)
        return QObject::eventFilter(pWatched, pEvent);
    // The view's own drag handling never sees these: its rows cannot be moved.
    auto *drop = static_cast<QDropEvent *>(pEvent);
    const QStringList paths = LocalFiles(drop->mimeData());
    if (paths.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        emit FilesDropped(view->indexAt(drop->position().toPoint()), paths);
    return true;
}
