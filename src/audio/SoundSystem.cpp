#include "audio/SoundSystem.h"

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>
#include <vector>

#include "audio/SoundFile.h"
#include "audio/SoundResult.h"

namespace
{
// Frames decoded per read: small enough to keep memory flat, large enough that a callback rarely
// needs more than one read.
constexpr int blockFrames = 1024;
// Output frames per device callback: about 23 ms at 44.1 kHz, which bounds the start latency.
constexpr int deviceFrames = 1024;
constexpr int outputFrameBytes = int(sizeof(float)) * SoundSystem::outputChannels;
constexpr quint32 knownModeBits = SoundSystem::LoopOff | SoundSystem::LoopNormal | SoundSystem::Flat
                                | SoundSystem::SoftwareMix | SoundSystem::ExactLength | SoundSystem::ExactSeek;

struct AudioStreamFreer
{
    void operator()(SDL_AudioStream *pStream) const { SDL_FreeAudioStream(pStream); }
};

bool IsValidMode(quint32 mode)
{
    return (mode & ~knownModeBits) == 0
        && (mode & (SoundSystem::LoopOff | SoundSystem::LoopNormal))
               != (SoundSystem::LoopOff | SoundSystem::LoopNormal);
}

// libsndfile's own codes do not tell a missing file from an unreadable one, so look at the path.
int OpenFailure(const char *pPath, int sndfileError)
{
    std::error_code error;
    const std::filesystem::path path(pPath);
    const auto status = std::filesystem::status(path, error);
    if (*pPath == '\0' || !std::filesystem::exists(status))
        return SoundResult::FileNotFound;
    if (!std::filesystem::is_regular_file(status))
        return SoundResult::FileBad;
    if (std::filesystem::file_size(path, error) == 0 && !error)
        return SoundResult::FileEof;
    switch (sndfileError) {
    case SF_ERR_UNRECOGNISED_FORMAT:
    case SF_ERR_UNSUPPORTED_ENCODING:
        return SoundResult::Format;
    default:
        return SoundResult::FileBad;
    }
}

qint64 FramesToMilliseconds(qint64 frames, int rate)
{
    return frames * 1000 / rate;
}
}

struct SoundSystem::Stream
{
    SndFilePtr file;
    SF_INFO info {};
    // Converts the file's rate and channels to the output's; also the buffer between decoder
    // and device.
    std::unique_ptr<SDL_AudioStream, AudioStreamFreer> converter;
    std::vector<float> block;               // one decoded block, in the file's channel layout
    bool loop = false;
    sf_count_t loopStart = 0;               // where a repeat starts
    // Where the lap being decoded started: frames the converter still holds from before it are
    // the end of the previous lap.
    sf_count_t lapStart = 0;
    sf_count_t decodePosition = 0;          // the frame the decoder reads next
    bool flushed = false;                   // the converter was told that no more data follows

    bool Rewind(sf_count_t frame)
    {
        SDL_AudioStreamClear(converter.get());
        flushed = false;
        decodePosition = frame;
        lapStart = 0;
        return sf_seek(file.get(), frame, SEEK_SET) == frame;
    }

    // Starts the next lap of a looping stream. The converter keeps the tail of the last lap.
    bool Wrap()
    {
        decodePosition = loopStart;
        lapStart = loopStart;
        return sf_seek(file.get(), loopStart, SEEK_SET) == loopStart;
    }

    // Decodes one block into the converter; the number of frames read, 0 at the end.
    sf_count_t DecodeBlock()
    {
        const sf_count_t read = sf_readf_float(file.get(), block.data(), blockFrames);
        if (read <= 0)
            return 0;
        const int bytes = int(read) * info.channels * int(sizeof(float));
        if (SDL_AudioStreamPut(converter.get(), block.data(), bytes) != 0)
            return 0;
        decodePosition += read;
        return read;
    }

    // The frame the device takes next: what was decoded minus what still waits in the converter.
    sf_count_t PlayedFrame() const
    {
        const qint64 bufferedOutput = SDL_AudioStreamAvailable(converter.get()) / outputFrameBytes;
        sf_count_t frame = decodePosition - bufferedOutput * info.samplerate / SoundSystem::outputRate;
        if (frame < lapStart)
            frame = loop ? frame + info.frames - lapStart : 0;  // the buffer still holds the end of the last lap
        return std::clamp<sf_count_t>(frame, 0, info.frames);
    }
};

SoundSystem::SoundSystem() = default;

SoundSystem::~SoundSystem()
{
    CloseDevice();
}

int SoundSystem::Create(std::unique_ptr<SoundSystem> &system)
{
    system.reset(new (std::nothrow) SoundSystem());
    return system ? SoundResult::Ok : SoundResult::Memory;
}

int SoundSystem::GetVersion(quint32 *pVersion) const
{
    if (!pVersion)
        return SoundResult::InvalidParam;
    *pVersion = version;
    return SoundResult::Ok;
}

int SoundSystem::Init(int maxChannels)
{
    if (device != 0)
        return SoundResult::AlreadyInitialised;
    if (maxChannels < 1)
        return SoundResult::InvalidParam;
    // SDL would otherwise take over SIGINT and SIGTERM from the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return SoundResult::OutputInit;
    SDL_AudioSpec wanted {};
    wanted.freq = outputRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = outputChannels;
    wanted.samples = deviceFrames;
    wanted.callback = &SoundSystem::Mix;
    wanted.userdata = this;
    SDL_AudioSpec obtained {};
    // No allowed changes: SDL converts to whatever the hardware takes, so Mix always gets floats.
    const SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (opened == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return SoundResult::OutputInit;
    }
    device = opened;
    SDL_PauseAudioDevice(device, 0);
    return SoundResult::Ok;
}

int SoundSystem::Close()
{
    CloseDevice();
    return SoundResult::Ok;
}

void SoundSystem::CloseDevice()
{
    if (device == 0)
        return;
    // Not under the mutex: closing waits for the callback, which takes the mutex.
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = 0;
    const std::lock_guard<std::mutex> lock(mutex);
    channel = Channel();
}

int SoundSystem::CreateStream(const char *pPath, quint32 mode, SoundHandle *pSound)
{
    if (!pSound || !pPath)
        return SoundResult::InvalidParam;
    *pSound = 0;
    if (device == 0)
        return SoundResult::NotInitialised;
    if (!IsValidMode(mode))
        return SoundResult::InvalidParam;
    try {
        auto stream = std::make_unique<Stream>();
        OpenedSoundFile opened = OpenSoundFile(QByteArray(pPath), SFM_READ, &stream->info);
        if (!opened.file)
            return OpenFailure(pPath, opened.error);
        stream->file = std::move(opened.file);
        if (stream->info.channels < 1 || stream->info.channels > 8 || stream->info.samplerate <= 0)
            return SoundResult::Format;
        stream->converter.reset(SDL_NewAudioStream(AUDIO_F32SYS, Uint8(stream->info.channels),
                                                   stream->info.samplerate, AUDIO_F32SYS,
                                                   outputChannels, outputRate));
        if (!stream->converter)
            return SoundResult::Format;
        stream->block.resize(std::size_t(blockFrames) * std::size_t(stream->info.channels));
        stream->loop = (mode & LoopNormal) != 0;

        const std::lock_guard<std::mutex> lock(mutex);
        const SoundHandle sound = ++lastSound;
        streams.emplace(sound, std::move(stream));
        *pSound = sound;
        return SoundResult::Ok;
    } catch (const std::bad_alloc &) {
        return SoundResult::Memory;
    }
}

int SoundSystem::PlaySound(SoundHandle sound, bool bPaused, ChannelHandle *pChannel)
{
    if (!pChannel)
        return SoundResult::InvalidParam;
    *pChannel = 0;
    const std::lock_guard<std::mutex> lock(mutex);
    Stream *pStream = FindStream(sound);
    if (!pStream)
        return SoundResult::InvalidHandle;
    if (device == 0)
        return SoundResult::NotInitialised;
    if (channel.pStream == pStream)
        channel = Channel();
    // Decode the first block here rather than in the callback: a stream without any audio is
    // reported to the caller, and the device finds data ready at its next call.
    if (!pStream->Rewind(0))
        return SoundResult::FileBad;
    if (pStream->DecodeBlock() == 0)
        return SoundResult::FileEof;
    channel = Channel();
    channel.id = ++lastChannel;
    channel.pStream = pStream;
    channel.paused = bPaused;
    *pChannel = channel.id;
    return SoundResult::Ok;
}

int SoundSystem::ReleaseSound(SoundHandle sound)
{
    std::unique_ptr<Stream> released;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = streams.find(sound);
        if (sound == 0 || found == streams.end())
            return SoundResult::InvalidHandle;
        if (channel.pStream == found->second.get())
            channel = Channel();
        released = std::move(found->second);
        streams.erase(found);
    }
    return SoundResult::Ok;     // the file closes here, outside the lock
}

int SoundSystem::SetLoopMode(SoundHandle sound, quint32 mode)
{
    const std::lock_guard<std::mutex> lock(mutex);
    Stream *pStream = FindStream(sound);
    if (!pStream)
        return SoundResult::InvalidHandle;
    if (!IsValidMode(mode) || (mode & ~(LoopOff | LoopNormal)) != 0)
        return SoundResult::InvalidParam;
    pStream->loop = (mode & LoopNormal) != 0;
    return SoundResult::Ok;
}

int SoundSystem::SetLoopStart(SoundHandle sound, qint64 frame)
{
    const std::lock_guard<std::mutex> lock(mutex);
    Stream *pStream = FindStream(sound);
    if (!pStream)
        return SoundResult::InvalidHandle;
    pStream->loopStart = frame > 0 && frame < pStream->info.frames ? frame : 0;
    return SoundResult::Ok;
}

int SoundSystem::GetLength(SoundHandle sound, quint32 *pMilliseconds) const
{
    if (!pMilliseconds)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Stream *pStream = FindStream(sound);
    if (!pStream)
        return SoundResult::InvalidHandle;
    *pMilliseconds = quint32(std::min<qint64>(FramesToMilliseconds(pStream->info.frames, pStream->info.samplerate),
                                              std::numeric_limits<quint32>::max()));
    return SoundResult::Ok;
}

int SoundSystem::IsPlaying(ChannelHandle handle, bool *pPlaying) const
{
    if (!pPlaying)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    *pPlaying = !pChannel->ended;
    return SoundResult::Ok;
}

int SoundSystem::Stop(ChannelHandle handle)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!FindChannel(handle))
        return SoundResult::InvalidHandle;
    channel = Channel();
    return SoundResult::Ok;
}

int SoundSystem::GetPaused(ChannelHandle handle, bool *pPaused) const
{
    if (!pPaused)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    *pPaused = pChannel->paused;
    return SoundResult::Ok;
}

int SoundSystem::SetPaused(ChannelHandle handle, bool bPaused)
{
    const std::lock_guard<std::mutex> lock(mutex);
    Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    pChannel->paused = bPaused;
    return SoundResult::Ok;
}

int SoundSystem::GetVolume(ChannelHandle handle, float *pVolume) const
{
    if (!pVolume)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    *pVolume = pChannel->volume;
    return SoundResult::Ok;
}

int SoundSystem::SetVolume(ChannelHandle handle, float volume)
{
    // Also refuses NaN, which would turn every sample into NaN.
    if (!(volume >= 0.0f && volume <= 1.0f))
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    pChannel->volume = volume;
    return SoundResult::Ok;
}

int SoundSystem::GetMute(ChannelHandle handle, bool *pMute) const
{
    if (!pMute)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    *pMute = pChannel->mute;
    return SoundResult::Ok;
}

int SoundSystem::SetMute(ChannelHandle handle, bool bMute)
{
    const std::lock_guard<std::mutex> lock(mutex);
    Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    pChannel->mute = bMute;
    return SoundResult::Ok;
}

int SoundSystem::GetPosition(ChannelHandle handle, quint32 *pMilliseconds) const
{
    if (!pMilliseconds)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    const Stream &stream = *pChannel->pStream;
    *pMilliseconds = quint32(FramesToMilliseconds(stream.PlayedFrame(), stream.info.samplerate));
    return SoundResult::Ok;
}

int SoundSystem::SetPosition(ChannelHandle handle, quint32 milliseconds)
{
    const std::lock_guard<std::mutex> lock(mutex);
    Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    Stream &stream = *pChannel->pStream;
    // Round the frame up so that reading the position back gives exactly the milliseconds set.
    const sf_count_t frame = (sf_count_t(milliseconds) * stream.info.samplerate + 999) / 1000;
    if (frame >= stream.info.frames)
        return SoundResult::PositionOutOfRange;
    if (!stream.Rewind(frame))
        return SoundResult::FileBad;
    pChannel->ended = false;
    return SoundResult::Ok;
}

int SoundSystem::GetFramesOutput(ChannelHandle handle, quint64 *pFrames) const
{
    if (!pFrames)
        return SoundResult::InvalidParam;
    const std::lock_guard<std::mutex> lock(mutex);
    const Channel *pChannel = FindChannel(handle);
    if (!pChannel)
        return SoundResult::InvalidHandle;
    *pFrames = pChannel->framesOutput;
    return SoundResult::Ok;
}

SoundSystem::Stream *SoundSystem::FindStream(SoundHandle sound) const
{
    const auto found = streams.find(sound);
    return found == streams.end() ? nullptr : found->second.get();
}

const SoundSystem::Channel *SoundSystem::FindChannel(ChannelHandle handle) const
{
    return handle != 0 && channel.id == handle ? &channel : nullptr;
}

SoundSystem::Channel *SoundSystem::FindChannel(ChannelHandle handle)
{
    return handle != 0 && channel.id == handle ? &channel : nullptr;
}

// Runs on SDL's audio thread.
void SoundSystem::Mix(void *pUserData, quint8 *pBuffer, int length)
{
    auto *pSystem = static_cast<SoundSystem *>(pUserData);
    const std::lock_guard<std::mutex> lock(pSystem->mutex);
    pSystem->MixLocked(reinterpret_cast<float *>(pBuffer), length / outputFrameBytes);
}

void SoundSystem::MixLocked(float *pOutput, int frames)
{
    std::fill(pOutput, pOutput + std::size_t(frames) * outputChannels, 0.0f);
    if (channel.id == 0 || channel.paused || channel.ended)
        return;
    Stream &stream = *channel.pStream;
    int done = 0;
    while (done < frames) {
        const int got = SDL_AudioStreamGet(stream.converter.get(), pOutput + std::size_t(done) * outputChannels,
                                           (frames - done) * outputFrameBytes);
        if (got < 0) {
            channel.ended = true;
            break;
        }
        done += got / outputFrameBytes;
        if (done >= frames || stream.DecodeBlock() > 0)
            continue;
        // The decoder is at the end of the file.
        if (stream.loop) {
            // A lap that yields nothing from its start would spin here for good.
            if (stream.decodePosition == stream.lapStart || !stream.Wrap()) {
                channel.ended = true;
                break;
            }
            continue;
        }
        if (stream.flushed) {
            channel.ended = true;
            break;
        }
        SDL_AudioStreamFlush(stream.converter.get());
        stream.flushed = true;
    }
    channel.framesOutput += quint64(done);
    const float gain = channel.mute ? 0.0f : channel.volume;
    if (gain != 1.0f)
        std::for_each(pOutput, pOutput + std::size_t(done) * outputChannels, [gain](float &sample) { sample *= gain; });
}
