#pragma once
#include <QtGlobal>

#include <map>
#include <memory>
#include <mutex>

// The program's sound engine: streams files that libsndfile decodes (WAV, OGG Vorbis, FLAC, ...)
// to one SDL output device, on one channel. Owns the device and every stream it created.
// Every operation returns a SoundResult code. Streams and channels are plain numbers; 0 is never
// a valid handle, and a handle of a released stream or a stopped channel stays invalid for good.
// Use it from one thread; the device's callback thread shares only what the mutex guards.
class SoundSystem
{
public:
    using SoundHandle = quint32;
    using ChannelHandle = quint32;

    // major << 16 | minor << 8 | build
    static constexpr quint32 version = 0x00010000;

    // Creation mode bits. Exactly one loop bit may be set (none means LoopOff). The other bits are
    // accepted for callers that name them; every stream is mixed in software, flat, with exact
    // length and seeking anyway.
    enum Mode : quint32
    {
        LoopOff = 0x1,
        LoopNormal = 0x2,
        Flat = 0x8,
        SoftwareMix = 0x40,
        ExactLength = 0x4000,
        ExactSeek = 0x8000
    };

    // The rate and channel count of the output; every stream is converted to them.
    static constexpr int outputRate = 44100;
    static constexpr int outputChannels = 2;

    // Creating the system touches no device; Init opens it. Releasing the system is destroying
    // it: the device closes and every stream is freed.
    static int Create(std::unique_ptr<SoundSystem> &system);
    ~SoundSystem();
    SoundSystem(const SoundSystem &) = delete;
    SoundSystem &operator=(const SoundSystem &) = delete;

    int GetVersion(quint32 *pVersion) const;
    // Opens the output device (SDL_AUDIODRIVER chooses the driver). maxChannels must be at least
    // 1; one channel plays at a time, a new PlaySound takes the channel over.
    int Init(int maxChannels);
    // Closes the device; streams stay until released, channels end.
    int Close();

    // Opens pPath (bytes as the file system takes them) for streaming; nothing is decoded yet.
    int CreateStream(const char *pPath, quint32 mode, SoundHandle *pSound);
    // Starts sound on the channel from its beginning; fails with FileEof when the stream yields
    // no audio at all. On failure *pChannel is 0 and the stream stays as it was (not released).
    int PlaySound(SoundHandle sound, bool bPaused, ChannelHandle *pChannel);
    // Frees the stream; a channel playing it ends.
    int ReleaseSound(SoundHandle sound);
    int SetLoopMode(SoundHandle sound, quint32 mode);
    // Where each repeat of a looping stream starts, in frames of the file; a negative frame, or one
    // at or beyond the end, repeats from the start. Takes effect at the next repeat.
    int SetLoopStart(SoundHandle sound, qint64 frame);
    int GetLength(SoundHandle sound, quint32 *pMilliseconds) const;

    // A channel whose non-looping stream reached its end stays valid and reports false.
    int IsPlaying(ChannelHandle channel, bool *pPlaying) const;
    int Stop(ChannelHandle channel);
    int GetPaused(ChannelHandle channel, bool *pPaused) const;
    int SetPaused(ChannelHandle channel, bool bPaused);
    int GetVolume(ChannelHandle channel, float *pVolume) const;
    int SetVolume(ChannelHandle channel, float volume);      // linear, 0..1
    int GetMute(ChannelHandle channel, bool *pMute) const;
    int SetMute(ChannelHandle channel, bool bMute);
    // Milliseconds within the stream; a position at or beyond the end is PositionOutOfRange.
    int GetPosition(ChannelHandle channel, quint32 *pMilliseconds) const;
    int SetPosition(ChannelHandle channel, quint32 milliseconds);
    // Output frames the channel has handed to the device so far (silence of a muted channel
    // counts, a pause does not). For measuring and for tests.
    int GetFramesOutput(ChannelHandle channel, quint64 *pFrames) const;

private:
    struct Stream;
    struct Channel
    {
        ChannelHandle id = 0;               // 0: no channel
        Stream *pStream = nullptr;
        float volume = 1.0f;
        bool paused = false;
        bool mute = false;
        bool ended = false;
        quint64 framesOutput = 0;
    };

    SoundSystem();
    static void Mix(void *pUserData, quint8 *pBuffer, int length);
    void MixLocked(float *pOutput, int frames);
    Stream *FindStream(SoundHandle sound) const;
    const Channel *FindChannel(ChannelHandle channel) const;
    Channel *FindChannel(ChannelHandle channel);
    void CloseDevice();

    // Guards streams and channel: the device callback reads and advances them.
    mutable std::mutex mutex;
    std::map<SoundHandle, std::unique_ptr<Stream>> streams;
    Channel channel;
    SoundHandle lastSound = 0;
    ChannelHandle lastChannel = 0;
    quint32 device = 0;                     // SDL device id; 0 while not initialised
};
