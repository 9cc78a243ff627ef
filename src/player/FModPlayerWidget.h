#pragma once
#include <QTimer>
#include <QWidget>

#include <memory>

class Exception;
class Player;
class QLabel;
class Slider;

// The playback strip of the main window: volume slider, position slider and time label over the
// one player of the program. Every playback failure is shown here; callers never see one.
// Owns the player; without a sound device it keeps working and reports the failure at each Play.
class FModPlayerWidget : public QWidget
{
    Q_OBJECT
public:
    explicit FModPlayerWidget(QWidget *pParent = nullptr);  // never throws, even without a sound device
    ~FModPlayerWidget() override;                           // Player is incomplete here

    bool IsPlaying() const;                 // never shows a message; a failure counts as false

    // "mm:ss", or "hh:mm:ss" from one hour on (hours take as many digits as they need).
    static QString FormatTime(uint milliseconds);

signals:
    void PlayingStopped();                  // at the end of every Stop(), also a failed one
    void PlayingStarted(const QString &file); // after every Play() that started
    void PositionChanged(uint milliseconds); // the play position, polled while something plays

public slots:
    void Stop();
    bool Play(QString file, qint64 loopStart = -1); // true when playback started; repeats from frame `loopStart`
    void SetLoopStart(qint64 loopStart);    // for the file that plays, from its next repeat
    void Break();                           // pauses or resumes; nothing without playback
    void SetVolume(uint value);             // slider scale 0..1000
    void SetPosition(uint value);           // seeks 1 ms before value, so the right end stays inside
    void SetPositionFromTimer();
    void SetProgressText(uint value);       // "position / length"; sizes the label when due

private:
    void CreatePlayer();                    // throws Exception
    void UpdateProgressText(uint value);    // throws Exception
    void ShowError(QWidget *pParent, const Exception &error);

    std::unique_ptr<Player> player;         // null while there is no sound device
    Slider *volumeSlider = nullptr;         // child of this
    Slider *positionSlider = nullptr;       // child of this
    QTimer positionTimer;
    QLabel *timeLabel = nullptr;            // child of this
    bool labelNeedsSizing = false;          // the next progress text fixes the label's width
    int timerInterval = 50;                 // ms
};
