#pragma once
#include <QObject>
#include <QString>

#include <memory>

#include "audio/SoundSystem.h"

// Plays one sound file at a time as a stream on the engine's one channel, and keeps volume, mute
// and repeat across files. Owns the sound system and the current stream. Knows no widgets:
// every engine failure leaves as an Exception (see Exception.h) with the engine's text.
// "While playing" below means: a channel exists and the engine reports it playing; each
// operation checks that itself, right before its own engine call.
class Player : public QObject
{
    Q_OBJECT
public:
    // Creates and initialises the sound system; throws Exception when that fails (for instance
    // no output device). A wrong engine version is only warned about.
    Player();
    ~Player() override;

    uint GetLength() const;          // ms; 0 unless playing
    uint GetPosition() const;        // ms; 0 unless playing
    float GetVolume() const;         // the channel's volume while playing, else the stored one
    bool IsPlaying() const;
    bool IsPaused() const;           // false unless playing
    // Output frames of the current channel handed to the device; 0 without a channel.
    quint64 GetFramesOutput() const;

public slots:
    void SetVolume(float Volume);                    // clamped to 0..1; applied while playing; stored
    void SetVolume();                                // full volume
    void SetVolumeFromSlider(uint Volume);           // slider scale 0..1000
    void SetPosition(uint Position);                 // ms; a refused seek is silently ignored
    void SetPositionFromSlider(uint SliderPosition); // percent of the length, above 100 counts as 100
    void SetPaused(bool bFlag);                      // while playing only; not stored
    void SetMute(bool bFlag);                        // applied while playing; stored
    void SetRepeat(bool bFlag);                      // applied while playing; stored for the next stream
    void Stop();                                     // keeps the file name for PlayFile()
    void PlayFile(QString Filename);                 // stops what plays, then plays Filename
    // As above; a repeat starts at frame `loopStart` of the file (negative: at its start).
    void PlayFile(const QString &filePath, qint64 loopStart);
    void PlayFile();                                 // plays the last started file again, from its loop start
    // The current file's repeats start at `loopStart` from now on (negative: at its start).
    void SetLoopStart(qint64 loopStart);

private:
    static void Check(int result);                   // throws for anything but success
    bool ChannelPlaying() const;
    void ReleaseStream();

    std::unique_ptr<SoundSystem> system;
    SoundSystem::SoundHandle sound = 0;
    SoundSystem::ChannelHandle channel = 0;
    float volume = 1.0f;
    bool repeat = true;
    bool mute = false;
    qint64 repeatFrom = -1;                          // the current file's loop start
    QString fileName;
};
