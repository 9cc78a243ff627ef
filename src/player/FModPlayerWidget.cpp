#include "player/FModPlayerWidget.h"

// STUB: replaced by the playback work.
FModPlayerWidget::FModPlayerWidget(QWidget *pParent) : QWidget(pParent) {}
FModPlayerWidget::~FModPlayerWidget() = default;
bool FModPlayerWidget::IsPlaying() const { return false; }
void FModPlayerWidget::Stop() { emit PlayingStopped(); }
bool FModPlayerWidget::Play(QString) { return false; }
void FModPlayerWidget::Break() {}
