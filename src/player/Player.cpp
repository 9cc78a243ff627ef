#include "player/Player.h"

#include <QFile>

#include <algorithm>

#include "dialogs/UserDialogs.h"
#include "audio/SoundResult.h"
#include "player/Exception.h"

namespace
{
constexpr quint32 streamMode = SoundSystem::Flat | SoundSystem::SoftwareMix | SoundSystem::ExactLength
                             | SoundSystem::ExactSeek;
static_assert((streamMode | SoundSystem::LoopNormal) == 0xC04A && (streamMode | SoundSystem::LoopOff) == 0xC049,
              "the creation modes of a stream with and without repeat");
}

Player::Player()
{
    Check(SoundSystem::Create(system));
    quint32 engineVersion = 0;
    Check(system->GetVersion(&engineVersion));
    // Only a warning: an engine of another version may well play our files.
    if (engineVersion != SoundSystem::version)
        UserDialogs::Untitled(QStringLiteral("You use a wrong version of FMod"));
    Check(system->Init(1));
}

Player::~Player()
{
    // Nothing may leave a destructor; the engine frees everything with the system anyway.
    if (sound != 0)
        system->ReleaseSound(sound);
    system->Close();
}

void Player::Check(int result)
{
    if (result != SoundResult::Ok)
        throw Exception(SoundResult::Text(result));
}

bool Player::ChannelPlaying() const
{
    if (channel == 0)
        return false;
    bool playing = false;
    Check(system->IsPlaying(channel, &playing));
    return playing;
}

uint Player::GetLength() const
{
    quint32 length = 0;
    if (ChannelPlaying() && sound != 0)
        Check(system->GetLength(sound, &length));
    return length;
}

uint Player::GetPosition() const
{
    quint32 position = 0;
    if (ChannelPlaying())
        Check(system->GetPosition(channel, &position));
    return position;
}

float Player::GetVolume() const
{
    float value = volume;
    if (ChannelPlaying())
        Check(system->GetVolume(channel, &value));
    return value;
}

bool Player::IsPlaying() const
{
    return ChannelPlaying();
}

bool Player::IsPaused() const
{
    bool paused = false;
    if (ChannelPlaying())
        Check(system->GetPaused(channel, &paused));
    return paused;
}

quint64 Player::GetFramesOutput() const
{
    quint64 frames = 0;
    if (channel != 0)
        Check(system->GetFramesOutput(channel, &frames));
    return frames;
}

void Player::SetVolume(float Volume)
{
    // NaN counts as silence: the engine refuses it, and it must not be stored for the next file.
    if (!(Volume >= 0.0f))
        Volume = 0.0f;
    else if (Volume > 1.0f)
        Volume = 1.0f;
    if (ChannelPlaying())
        Check(system->SetVolume(channel, Volume));
    volume = Volume;
}

void Player::SetVolume()
{
    SetVolume(1.0f);
}

void Player::SetVolumeFromSlider(uint Volume)
{
    SetVolume(float(Volume / 1000.0));
}

void Player::SetPosition(uint Position)
{
    if (ChannelPlaying())
        system->SetPosition(channel, Position);     // a refused seek changes nothing; not worth a message
}

void Player::SetPositionFromSlider(uint SliderPosition)
{
    const quint64 percentage = std::min(SliderPosition, 100u);
    const uint length = GetLength();
    if (length - 1 == 0)
        return;
    // 100 % lands one millisecond before the end, inside the stream.
    if (ChannelPlaying())
        system->SetPosition(channel, quint32((quint64(length - 1) * percentage) / 100));
}

void Player::SetPaused(bool bFlag)
{
    if (ChannelPlaying())
        Check(system->SetPaused(channel, bFlag));
}

void Player::SetMute(bool bFlag)
{
    if (ChannelPlaying())
        Check(system->SetMute(channel, bFlag));
    mute = bFlag;
}

void Player::SetRepeat(bool bFlag)
{
    if (sound != 0 && ChannelPlaying())
        Check(system->SetLoopMode(sound, bFlag ? SoundSystem::LoopNormal : SoundSystem::LoopOff));
    repeat = bFlag;
}

void Player::Stop()
{
    if (channel == 0)
        return;
    Check(system->Stop(channel));
    Check(system->ReleaseSound(sound));
    channel = 0;
    sound = 0;
}

void Player::PlayFile(QString Filename)
{
    PlayFile(Filename, -1);
}

void Player::PlayFile(const QString &filePath, qint64 loopStart)
{
    Stop();
    const quint32 mode = streamMode | (repeat ? SoundSystem::LoopNormal : SoundSystem::LoopOff);
    // The file system's own encoding, so that names beyond Latin-1 open too.
    const QByteArray name = QFile::encodeName(filePath);
    Check(system->CreateStream(name.constData(), mode, &sound));
    // Before the channel starts: a short sound may repeat within the first block. It cannot
    // fail on the stream just made.
    system->SetLoopStart(sound, loopStart);
    // Start paused and let go once volume and mute are set: the device must not hear one block
    // at the wrong volume in between.
    const int started = system->PlaySound(sound, true, &channel);
    if (started != SoundResult::Ok) {
        ReleaseStream();
        Check(started);
    }
    fileName = filePath;
    repeatFrom = loopStart;
    SetVolume(volume);
    if (ChannelPlaying())
        Check(system->SetMute(channel, mute));
    Check(system->SetPaused(channel, false));
}

void Player::SetLoopStart(qint64 loopStart)
{
    repeatFrom = loopStart;
    if (sound)
        system->SetLoopStart(sound, loopStart);
}

void Player::PlayFile()
{
    PlayFile(fileName, repeatFrom);
}

void Player::ReleaseStream()
{
    // The stream never got a channel; without this it would hold its file open until the next one.
    system->ReleaseSound(sound);
    sound = 0;
    channel = 0;
}
