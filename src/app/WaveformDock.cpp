#include "app/WaveformDock.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QTreeView>

#include "app/archive/OpenedArchive.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "waveform/WaveformView.h"

WaveformDock::WaveformDock(QTreeView *pEntryView, FModPlayerWidget *pPlayer, const OpenedArchive &opened, QWidget *pParent)
    : QDockWidget(QStringLiteral("Waveform"), pParent), entryView(pEntryView), opened(opened), view(new WaveformView)
{
    setObjectName(QStringLiteral("waveformDock"));
    setWidget(view);
    // The dock's own action follows it however it is closed, by the menu, F4 or its title bar.
    toggleViewAction()->setText(QStringLiteral("&Waveform"));
    toggleViewAction()->setShortcut(QKeySequence(Qt::Key_F4));
    // A hidden strip decodes nothing; shown again, it catches up with the selection.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool bShown) {
        if (bShown)
            ShowEntry(entryView->currentIndex());
    });
    connect(view, &WaveformView::SeekRequested, pPlayer, &FModPlayerWidget::SetPosition);
    connect(pPlayer, &FModPlayerWidget::PositionChanged, this, [this](uint milliseconds) {
        if (this->opened.IsPlaying(entryView->currentIndex()))
            view->SetPlayPosition(milliseconds);
        else
            view->HidePlayPosition();
    });
    connect(pPlayer, &FModPlayerWidget::PlayingStopped, view, &WaveformView::HidePlayPosition);
}

void WaveformDock::ShowEntry(const QModelIndex &current)
{
    if (isHidden())
        return;
    const IniMetafileModel *model = opened.Model();
    const QString filePath = opened.FilePath(current);
    if (!model || filePath.isNull() || !QFileInfo(filePath).isFile()) {
        view->SetEntry(QString());
        return;
    }
    const IniMetafileItem *item = IniMetafileModel::ItemOf(current);
    view->SetEntry(filePath, model->GetType() == IniMetafileModel::SFX ? item->GetLoopOffset() : -1);
}
