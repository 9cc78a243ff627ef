#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sndfile.h>

namespace kivo
{
class BinaryFile;

// A sound file read as mono, signed 16-bit little-endian PCM, the only form a bank holds.
// Mono 16-bit WAV files (what an export writes) are passed through byte for byte; anything else
// libsndfile can read is converted while reading: channels averaged, samples re-quantised to
// 16 bits with rounding and clipping, and rates above what a bank header can store (65,535 Hz)
// reduced by averaging groups of samples. Conversion reads through doubles, which hold 8- to
// 24-bit samples and float samples exactly, with no scaling to the file's peak. Plain WAV files
// of that form are read directly, sparing the many small reads of a general-purpose reader:
// a package holds thousands of them.
class PcmSource
{
public:
    // Throws FormatError naming label when the file is not audio that libsndfile can read.
    PcmSource(const std::filesystem::path &path, const std::string &label);
    ~PcmSource();
    PcmSource(const PcmSource &) = delete;
    PcmSource &operator=(const PcmSource &) = delete;

    std::uint32_t SampleRate() const { return outputRate; }
    bool IsConverted() const { return !passThrough; }
    // A short description of the conversion, e.g. "stereo 24-bit at 96000 Hz"; empty when none.
    const std::string &Conversion() const { return conversion; }

    // Fills buffer with up to capacity bytes (an even number); returns 0 at the end.
    std::size_t Read(unsigned char *buffer, std::size_t capacity);

    // A mono 16-bit WAV file's data is taken over as it is, and its length is known at once:
    // PlainBytes() is what Read() has still to give of it.
    bool IsPlainWav() const { return plainWav != nullptr; }
    std::uint64_t PlainBytes() const { return plainLeft; }

private:
    struct Closer
    {
        void operator()(SNDFILE *file) const { sf_close(file); }
    };

    bool OpenPlainWav(const std::filesystem::path &path);
    std::size_t ReadConverted(unsigned char *buffer, std::size_t capacity);
    void CheckReadError() const;

    std::string label;
    std::unique_ptr<BinaryFile> plainWav; // set when the data chunk is read directly
    std::unique_ptr<unsigned char[]> head; // the first bytes of a plain WAV file
    std::size_t headSize = 0;
    std::uint64_t plainOffset = 0;
    std::uint64_t plainLeft = 0;
    std::unique_ptr<SNDFILE, Closer> file;
    SF_INFO info{};
    bool passThrough = false;
    std::uint32_t outputRate = 0;
    unsigned decimation = 1;         // input frames averaged into one output sample
    std::vector<double> frames;      // conversion buffer, bounded whatever the channel count
    double pendingSum = 0;           // a decimation group that spans two reads
    unsigned pendingCount = 0;
    std::string conversion;
};
}
