#include "app/MainWindow.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QTreeView>

#include "metafile/IniMetafileItem.h"
#include "player/FModPlayerWidget.h"
#include "waveform/WaveformView.h"

void MainWindow::CreateWaveformDock()
{
    waveformView = new WaveformView;
    waveformDock = new QDockWidget(QStringLiteral("Waveform"), this);
    waveformDock->setObjectName(QStringLiteral("waveformDock"));
    waveformDock->setWidget(waveformView);
    addDockWidget(Qt::BottomDockWidgetArea, waveformDock);

    // The dock's own action follows it however it is closed, by the menu, F4 or its title bar.
    waveformAction = waveformDock->toggleViewAction();
    waveformAction->setText(QStringLiteral("&Waveform"));
    waveformAction->setShortcut(QKeySequence(Qt::Key_F4));
    // A hidden strip decodes nothing; shown again, it catches up with the selection.
    connect(waveformDock, &QDockWidget::visibilityChanged, this, [this](bool bShown) {
        if (bShown)
            ShowWaveformOf(entryView->currentIndex());
    });
    connect(waveformView, &WaveformView::SeekRequested, playerWidget, &FModPlayerWidget::SetPosition);
    connect(playerWidget, &FModPlayerWidget::PositionChanged, this, [this](uint milliseconds) {
        if (playingIndex.isValid() && playingIndex == entryView->currentIndex())
            waveformView->SetPlayPosition(milliseconds);
        else
            waveformView->HidePlayPosition();
    });
    connect(playerWidget, &FModPlayerWidget::PlayingStopped, waveformView, &WaveformView::HidePlayPosition);
}

void MainWindow::WatchEntrySelection()
{
    waveformView->SetEntry(QString());
    if (const QItemSelectionModel *selection = entryView->selectionModel())
        connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
            ShowWaveformOf(current);
            // Keys, play next, a search hit move the current entry without a click.
            UpdateMetalist(current);
        });
}

void MainWindow::ShowWaveformOf(const QModelIndex &current)
{
    if (waveformDock->isHidden())
        return;
    const auto *model = qobject_cast<const IniMetafileModel *>(entryView->model());
    const QString filePath = current.isValid() ? EntryFilePath(current) : QString();
    if (!model || filePath.isNull() || !QFileInfo(filePath).isFile()) {
        waveformView->SetEntry(QString());
        return;
    }
    const auto *item = static_cast<const IniMetafileItem *>(current.internalPointer());
    waveformView->SetEntry(filePath, model->GetType() == IniMetafileModel::SFX ? item->GetLoopOffset() : -1);
}
