#pragma once
#include <QWidget>

// The playback strip of the main window: volume slider, position slider and time label over the
// one player of the program. Every playback failure is shown here; callers never see one.
class FModPlayerWidget : public QWidget
{
    Q_OBJECT
public:
    explicit FModPlayerWidget(QWidget *pParent = nullptr);  // never throws, even without a sound device
    ~FModPlayerWidget() override;

    bool IsPlaying() const;                 // never shows a message; a failure counts as false

signals:
    void PlayingStopped();

public slots:
    void Stop();
    bool Play(QString file);
    void Break();
};
