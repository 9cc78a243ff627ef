#include "format/OggTrackFile.h"

#include <cstring>
#include <memory>

#include <sndfile.h>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
struct SndFileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
}

std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings)
{
    std::uint64_t size = 0;
    {
        BinaryFile file(path, BinaryFile::Mode::Read);
        size = file.Size();
        char magic[4] = {};
        if (size >= sizeof magic)
            file.ReadAt(0, magic, sizeof magic);
        if (std::memcmp(magic, "OggS", 4) != 0)
            throw FormatError(label + " is not an Ogg Vorbis file");
    }
    SF_INFO info{};
#ifdef _WIN32
    std::unique_ptr<SNDFILE, SndFileCloser> sound(sf_wchar_open(path.c_str(), SFM_READ, &info));
#else
    std::unique_ptr<SNDFILE, SndFileCloser> sound(sf_open(path.c_str(), SFM_READ, &info));
#endif
    if (!sound)
        throw FormatError(label + " is not a readable Ogg Vorbis file (" + sf_strerror(nullptr) + ")");
    if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG || (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_VORBIS)
        throw FormatError(label + " is an Ogg file but does not hold Vorbis audio");
    if (info.channels != 2 || (info.samplerate != 32000 && info.samplerate != 24000))
        warnings.Add(label + " is " + std::to_string(info.channels) + "-channel Vorbis at " + std::to_string(info.samplerate)
                     + " Hz; the game's own tracks are stereo at 32000 Hz, other variants are untested in the game");
    return size;
}
}
