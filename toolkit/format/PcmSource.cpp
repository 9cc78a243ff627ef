#include "format/PcmSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LittleEndian.h"

namespace kivo
{
namespace
{
constexpr std::uint32_t maxBankRate = 65535;
constexpr std::size_t conversionSamples = 65536; // per read, whatever the channel count
// Read first from a WAV file: enough for the chunk headers of any ordinary one.
constexpr std::uint64_t headBytes = 4096;

bool IsLittleEndianPcm16Container(int format)
{
    const int container = format & SF_FORMAT_TYPEMASK;
    const int endian = format & SF_FORMAT_ENDMASK;
    return (container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX || container == SF_FORMAT_RF64
            || container == SF_FORMAT_W64)
        && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16
        && (endian == SF_ENDIAN_FILE || endian == SF_ENDIAN_LITTLE);
}

std::string DescribeSampleFormat(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return "8-bit";
    case SF_FORMAT_PCM_16: return "16-bit";
    case SF_FORMAT_PCM_24: return "24-bit";
    case SF_FORMAT_PCM_32: return "32-bit";
    case SF_FORMAT_FLOAT: return "32-bit float";
    case SF_FORMAT_DOUBLE: return "64-bit float";
    default: return "compressed";
    }
}
}

PcmSource::PcmSource(const std::filesystem::path &path, const std::string &fileLabel)
    : label(fileLabel)
{
    if (OpenPlainWav(path))
        return;
#ifdef _WIN32
    file.reset(sf_wchar_open(path.c_str(), SFM_READ, &info));
#else
    file.reset(sf_open(path.c_str(), SFM_READ, &info));
#endif
    if (!file)
        throw FormatError(label + " is not a sound file that can be read (" + sf_strerror(nullptr) + ")");
    if (info.channels < 1 || info.samplerate < 1)
        throw FormatError(label + " has no channels or no sample rate");

    const auto rate = static_cast<std::uint32_t>(info.samplerate);
    decimation = (rate + maxBankRate - 1) / maxBankRate;
    outputRate = (rate + decimation / 2) / decimation;
    passThrough = info.channels == 1 && decimation == 1 && IsLittleEndianPcm16Container(info.format);
    if (passThrough)
        return;

    conversion = (info.channels == 1 ? std::string("mono") : info.channels == 2 ? std::string("stereo")
                                                                               : std::to_string(info.channels) + "-channel")
               + " " + DescribeSampleFormat(info.format) + " at " + std::to_string(rate) + " Hz";
    const std::size_t chunkFrames = std::max<std::size_t>(1, conversionSamples / static_cast<std::size_t>(info.channels));
    frames.resize(chunkFrames * static_cast<std::size_t>(info.channels));
}

PcmSource::~PcmSource() = default;

bool PcmSource::OpenPlainWav(const std::filesystem::path &path)
{
    auto wav = std::make_unique<BinaryFile>(path, BinaryFile::Mode::Read);
    // The chunk headers of a plain WAV file sit in its first bytes: one read takes them all.
    headSize = static_cast<std::size_t>(std::min<std::uint64_t>(wav->Size(), headBytes));
    head.reset(new unsigned char[headSize]);
    wav->ReadAt(0, head.get(), headSize);
    const auto bytesAt = [&](std::uint64_t position, unsigned char *bytes, std::size_t count) {
        if (position + count <= headSize)
            std::memcpy(bytes, head.get() + position, count);
        else
            wav->ReadAt(position, bytes, count);
    };
    unsigned char bytes[16];
    if (wav->Size() < 12)
        return false;
    bytesAt(0, bytes, 12);
    if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    bool monoPcm16 = false;
    std::uint64_t position = 12;
    for (int chunk = 0; chunk < 64 && position + 8 <= wav->Size(); ++chunk) {
        bytesAt(position, bytes, 8);
        const std::uint64_t size = le::U32(bytes + 4);
        const std::uint64_t body = position + 8;
        if (std::memcmp(bytes, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > wav->Size())
                return false;
            bytesAt(body, bytes, 16);
            outputRate = le::U32(bytes + 4);
            monoPcm16 = le::U16(bytes) == 1 && le::U16(bytes + 2) == 1 && le::U16(bytes + 12) == 2
                     && le::U16(bytes + 14) == 16 && outputRate >= 1 && outputRate <= maxBankRate;
        } else if (std::memcmp(bytes, "data", 4) == 0) {
            // Anything unusual (odd or overlong data) is left to libsndfile's tolerance.
            if (!monoPcm16 || size % 2 != 0 || body + size > wav->Size())
                return false;
            plainOffset = body;
            plainLeft = size;
            plainWav = std::move(wav);
            passThrough = true;
            return true;
        }
        position = body + size + (size & 1);
    }
    return false;
}

std::size_t PcmSource::Read(unsigned char *buffer, std::size_t capacity)
{
    capacity &= ~std::size_t(1);
    if (plainWav) {
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, plainLeft));
        // What the first read already brought in is not asked for again.
        std::size_t fromHead = 0;
        if (plainOffset < headSize) {
            fromHead = std::min<std::size_t>(count, headSize - static_cast<std::size_t>(plainOffset));
            std::memcpy(buffer, head.get() + plainOffset, fromHead);
        }
        if (count > fromHead)
            plainWav->ReadAt(plainOffset + fromHead, buffer + fromHead, count - fromHead);
        plainOffset += count;
        plainLeft -= count;
        return count;
    }
    if (!passThrough)
        return ReadConverted(buffer, capacity);
    const sf_count_t got = sf_read_raw(file.get(), buffer, static_cast<sf_count_t>(capacity));
    if (got <= 0) {
        CheckReadError();
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t PcmSource::ReadConverted(unsigned char *buffer, std::size_t capacity)
{
    const std::size_t channels = static_cast<std::size_t>(info.channels);
    const std::size_t chunkFrames = frames.size() / channels;
    std::size_t written = 0;
    while (written + 2 <= capacity) {
        const std::size_t wantedSamples = (capacity - written) / 2;
        const std::size_t wantedFrames = std::min(chunkFrames, wantedSamples * decimation);
        const sf_count_t got = sf_readf_double(file.get(), frames.data(), static_cast<sf_count_t>(wantedFrames));
        if (got <= 0) {
            CheckReadError();
            break;
        }
        for (sf_count_t f = 0; f < got; ++f) {
            const double *frame = frames.data() + static_cast<std::size_t>(f) * channels;
            double sum = 0;
            for (std::size_t c = 0; c < channels; ++c)
                sum += frame[c];
            pendingSum += sum / static_cast<double>(channels);
            if (++pendingCount < decimation)
                continue;
            // Full scale is 1.0 (libsndfile divides 16-bit samples by 32768); float data beyond
            // it clips rather than wrapping around.
            const double mixed = pendingSum / decimation * 32768.0;
            const long sample = std::lround(std::clamp(mixed, -32768.0, 32767.0));
            le::PutI16(buffer + written, static_cast<std::int16_t>(sample));
            written += 2;
            pendingSum = 0;
            pendingCount = 0;
        }
    }
    return written;
}

void PcmSource::CheckReadError() const
{
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw FormatError(label + " cannot be read: " + sf_strerror(file.get()));
}
}
