#include "app/WaveformDock.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QTreeView>

#include "app/archive/OpenedArchive.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "waveform/WaveformView.h"

WaveformDock::WaveformDock(QTreeView *pEntryView, FModPlayerWidget *pPlayer, OpenedArchive &opened, QWidget *pParent)
    : QDockWidget(QStringLiteral("Waveform"), pParent), entryView(pEntryView), player(pPlayer), opened(opened),
      view(new WaveformView), loopMenu(new QMenu(this))
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

    loopMenu->setObjectName(QStringLiteral("loopMenu"));
    loopMenu->addAction(QStringLiteral("Set &loop start here"), this, [this] { SetLoopStart(menuFrame); });
    loopFromStartAction = loopMenu->addAction(QStringLiteral("Loop from the &start"), this, [this] { SetLoopStart(0); });
    loopMenu->addAction(QStringLiteral("Do &not loop"), this, [this] { SetLoopStart(-1); });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &WaveformDock::ShowLoopMenu);
}

void WaveformDock::ShowLoopMenu(const QPoint &position)
{
    const QModelIndex current = entryView->currentIndex();
    menuFrame = view->FrameAt(position.x());
    if (!opened.SoundKey(current).IsValid() || menuFrame < 0 || view->FilePath() != opened.FilePath(current))
        return;
    // Looping from the start suits a sound the game loops; one it plays once would start to repeat.
    loopFromStartAction->setVisible(opened.OriginalLoopStart(current) >= 0);
    loopMenu->popup(view->mapToGlobal(position));
}

void WaveformDock::SetLoopStart(qint64 frame)
{
    const QModelIndex current = entryView->currentIndex();
    const QString failed = opened.SetLoopStart(current, frame);
    if (!failed.isNull()) {
        UserDialogs::Critical(this, QStringLiteral("Error"), failed);
        return;
    }
    if (opened.IsPlaying(current))
        player->SetLoopStart(frame);
    ShowEntry(current);
    emit LoopStartChanged();
}

void WaveformDock::ShowEntry(const QModelIndex &current)
{
    if (isHidden())
        return;
    const IniMetafileModel *model = opened.Model();
    const QString filePath = opened.FilePath(current);
    if (!model || filePath.isNull() || !QFileInfo(filePath).isFile()) {
        view->SetEntry(QString());
        view->SetNote(QString());
        return;
    }
    const IniMetafileItem *item = IniMetafileModel::ItemOf(current);
    view->SetNote(opened.ReplaceNote(current));
    view->SetEntry(filePath, model->GetType() == IniMetafileModel::SFX ? item->GetLoopOffset() : -1);
}
