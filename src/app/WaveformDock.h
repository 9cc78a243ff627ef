#pragma once
#include <QDockWidget>

class FModPlayerWidget;
class OpenedArchive;
class QAction;
class QMenu;
class QPoint;
class QTreeView;
class WaveformView;

// The strip under the views that shows the waveform of the current entry and, while that entry
// plays, where the player is in it; a click there moves the player. For a sound, its context menu
// sets where the sound loops.
class WaveformDock : public QDockWidget
{
    Q_OBJECT
public:
    WaveformDock(QTreeView *pEntryView, FModPlayerWidget *pPlayer, OpenedArchive &opened, QWidget *pParent);

    // Shows the waveform of the entry at `current` of the opened archive; nothing for a bank, an
    // entry without a file, or while the strip is hidden.
    void ShowEntry(const QModelIndex &current);

signals:
    // A sound's loop start was set from the strip's menu: the sound is changed now.
    void LoopStartChanged();

private:
    void ShowLoopMenu(const QPoint &position);
    void SetLoopStart(qint64 frame);

    QTreeView *entryView = nullptr;
    FModPlayerWidget *player = nullptr;
    OpenedArchive &opened;
    WaveformView *view = nullptr;      // owned by the dock
    QMenu *loopMenu = nullptr;         // child of this
    QAction *loopFromStartAction = nullptr;
    qint64 menuFrame = -1;             // the frame under the pointer when the menu opened
};
