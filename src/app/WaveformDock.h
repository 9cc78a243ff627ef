#pragma once
#include <QDockWidget>

class FModPlayerWidget;
class OpenedArchive;
class QTreeView;
class WaveformView;

// The strip under the views that shows the waveform of the current entry and, while that entry
// plays, where the player is in it; a click there moves the player.
class WaveformDock : public QDockWidget
{
    Q_OBJECT
public:
    WaveformDock(QTreeView *pEntryView, FModPlayerWidget *pPlayer, const OpenedArchive &opened, QWidget *pParent);

    // Shows the waveform of the entry at `current` of the opened archive; nothing for a bank, an
    // entry without a file, or while the strip is hidden.
    void ShowEntry(const QModelIndex &current);

private:
    QTreeView *entryView = nullptr;
    const OpenedArchive &opened;
    WaveformView *view = nullptr;  // owned by the dock
};
