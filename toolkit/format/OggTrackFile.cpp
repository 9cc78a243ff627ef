#include "format/OggTrackFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <vorbis/codec.h>

#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LittleEndian.h"
#include "format/Warnings.h"

namespace kivo
{
namespace
{
constexpr std::size_t pageHeaderSize = 27;
constexpr std::size_t maxPageSize = pageHeaderSize + 255 + 255 * 255;
constexpr unsigned char beginningOfStream = 0x02;

std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        table[i] = r;
    }
    return table;
}

// The checksum of an Ogg page, taken with its own checksum field counted as zero.
std::uint32_t PageChecksum(const unsigned char *page, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = MakeCrcTable();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char byte = (i >= 22 && i < 26) ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) & 0xFF) ^ byte];
    }
    return crc;
}

// The 8 bytes at data as a little-endian number, on every machine.
std::uint64_t Word(const unsigned char *data)
{
    std::uint64_t word;
    std::memcpy(&word, data, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// Reads a track's Ogg pages and Vorbis packets in order with libogg and libvorbis, and turns
// every flaw they report into a FormatError naming the track.
class VorbisReader
{
public:
    VorbisReader(const TrackReader &trackReader, std::uint64_t trackSize, const std::string &trackLabel)
        : read(trackReader), size(trackSize), label(trackLabel)
    {
        ogg_sync_init(&sync);
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~VorbisReader()
    {
        if (decoding) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        if (streaming)
            ogg_stream_clear(&stream);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        ogg_sync_clear(&sync);
    }
    VorbisReader(const VorbisReader &) = delete;
    VorbisReader &operator=(const VorbisReader &) = delete;

    // The track's first bytes, read already by the caller: they are not read again.
    void TakeStart(const std::vector<unsigned char> &start)
    {
        char *buffer = ogg_sync_buffer(&sync, static_cast<long>(start.size()));
        if (!buffer)
            throw std::bad_alloc();
        std::memcpy(buffer, start.data(), start.size());
        ogg_sync_wrote(&sync, static_cast<long>(start.size()));
        position = start.size();
    }

    // pKnownSetups: setup headers that parsed before; one of them is taken as it is. Leaves no
    // decoder ready then, so only for a check.
    void ReadHeaders(std::set<std::string, std::less<>> *pKnownSetups = nullptr)
    {
        static const char *const names[] = {"identification", "comment", "setup"};
        ogg_packet packet;
        for (int header = 0; header < 3; ++header) {
            if (!NextPacket(packet))
                throw FormatError(label + " is not a playable Ogg Vorbis file: it ends before its Vorbis " + names[header] + " header");
            // Looked up in place: a copy of each track's setup header costs more than the lookup.
            const std::string_view setup(reinterpret_cast<const char *>(packet.packet), static_cast<std::size_t>(packet.bytes));
            if (header == 2 && pKnownSetups && pKnownSetups->find(setup) != pKnownSetups->end())
                return;
            if (vorbis_synthesis_headerin(&info, &comment, &packet) != 0)
                throw FormatError(label + " is not a playable Ogg Vorbis file: its Vorbis " + names[header] + " header is damaged");
            if (header == 2 && pKnownSetups)
                pKnownSetups->emplace(setup);
        }
    }

    void DecodeRest()
    {
        if (vorbis_synthesis_init(&dsp, &info) != 0 || vorbis_block_init(&dsp, &block) != 0)
            throw FormatError(label + " is not a playable Ogg Vorbis file: its Vorbis headers describe no usable decoder");
        decoding = true;
        ogg_packet packet;
        for (std::uint64_t number = 1; NextPacket(packet); ++number) {
            if (vorbis_synthesis(&block, &packet) != 0 || vorbis_synthesis_blockin(&dsp, &block) != 0)
                throw FormatError(label + " is not a playable Ogg Vorbis file: audio packet " + std::to_string(number)
                                  + " does not decode");
            float **pcm = nullptr;
            const int samples = vorbis_synthesis_pcmout(&dsp, &pcm);
            vorbis_synthesis_read(&dsp, samples);
        }
    }

private:
    // False at the end of the file; throws where pages or packets are missing or damaged.
    bool NextPacket(ogg_packet &packet)
    {
        for (;;) {
            if (streaming) {
                const int got = ogg_stream_packetout(&stream, &packet);
                if (got == 1)
                    return true;
                if (got < 0)
                    throw FormatError(label + " is not a playable Ogg Vorbis file: a part of it is missing");
            }
            ogg_page page;
            const int found = ogg_sync_pageout(&sync, &page);
            if (found < 0)
                throw FormatError(label + " is not a playable Ogg Vorbis file: it holds bytes that are no sound Ogg page");
            if (found == 0) {
                char *buffer = ogg_sync_buffer(&sync, static_cast<long>(OggReadAhead));
                if (!buffer)
                    throw std::bad_alloc();
                const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(OggReadAhead, size - position));
                if (got == 0) {
                    if (sync.fill > sync.returned)
                        throw FormatError(label + " is not a playable Ogg Vorbis file: its last page is cut off");
                    return false;
                }
                read(position, reinterpret_cast<unsigned char *>(buffer), got);
                position += got;
                ogg_sync_wrote(&sync, static_cast<long>(got));
                continue;
            }
            if (!streaming) {
                ogg_stream_init(&stream, ogg_page_serialno(&page));
                streaming = true;
            }
            if (ogg_stream_pagein(&stream, &page) != 0)
                throw FormatError(label + " is not a playable Ogg Vorbis file: it holds more than one stream");
        }
    }

    const TrackReader &read;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::string label;
    ogg_sync_state sync{};
    ogg_stream_state stream{};
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    bool streaming = false;
    bool decoding = false;
};
}

std::size_t VorbisHeadersEnd(const unsigned char *ogg, std::size_t held, bool &bEnds)
{
    bEnds = false;
    int packets = 0;
    std::size_t at = 0;
    while (packets < 3) {
        if (at + pageHeaderSize > held)
            return at + pageHeaderSize;
        if (std::memcmp(ogg + at, "OggS", 4) != 0)
            return at;
        const std::size_t segments = ogg[at + 26];
        if (at + pageHeaderSize + segments > held)
            return at + pageHeaderSize + segments;
        std::size_t body = 0;
        for (std::size_t s = 0; s < segments; ++s) {
            const unsigned char lacing = ogg[at + pageHeaderSize + s];
            body += lacing;
            packets += lacing < 255 ? 1 : 0;
        }
        at += pageHeaderSize + segments + body;
    }
    bEnds = at <= held;
    return at;
}

void CheckOggVorbisData(const TrackReader &read, std::uint64_t size, const std::string &label, Warnings &warnings,
                        std::set<std::string, std::less<>> *pKnownSetups)
{
    // The first page holds only the identification header, so it nearly always ends within the
    // first piece read; one that claims more gets the rest read, up to the largest page there is.
    std::vector<unsigned char> page(static_cast<std::size_t>(std::min<std::uint64_t>(size, OggReadAhead)));
    read(0, page.data(), page.size());
    if (page.size() < pageHeaderSize || std::memcmp(page.data(), "OggS", 4) != 0)
        throw FormatError(label + " is not an Ogg Vorbis file");

    const std::size_t segments = page[26];
    std::size_t body = 0;
    if (pageHeaderSize + segments <= page.size())
        for (std::size_t i = 0; i < segments; ++i)
            body += page[pageHeaderSize + i];
    const std::size_t pageSize = pageHeaderSize + segments + body;
    const std::size_t largest = static_cast<std::size_t>(std::min<std::uint64_t>(size, maxPageSize));
    if (pageSize > page.size() && page.size() < largest) {
        const std::size_t got = page.size();
        page.resize(largest);
        read(got, page.data() + got, largest - got);
    }
    const unsigned char *packet = page.data() + pageHeaderSize + segments;
    const bool wellFormed = page[4] == 0 && (page[5] & beginningOfStream) && pageSize <= page.size()
                         && le::U32(page.data() + 22) == PageChecksum(page.data(), pageSize);
    if (!wellFormed)
        throw FormatError(label + " is not a readable Ogg Vorbis file (its first page is damaged)");
    if (body < 30 || packet[0] != 0x01 || std::memcmp(packet + 1, "vorbis", 6) != 0)
        throw FormatError(label + " is an Ogg file but does not hold Vorbis audio");
    const unsigned channels = packet[11];
    const std::uint32_t rate = le::U32(packet + 12);
    if (le::U32(packet + 7) != 0 || channels == 0 || rate == 0)
        throw FormatError(label + " is not a readable Ogg Vorbis file (its Vorbis header is damaged)");
    if (channels != 2 || (rate != 32000 && rate != 24000))
        warnings.Add(label + " is " + std::to_string(channels) + "-channel Vorbis at " + std::to_string(rate)
                     + " Hz; the game's own tracks are stereo at 32000 Hz, other variants are untested in the game");
    VorbisReader reader(read, size, label);
    reader.TakeStart(page);
    reader.ReadHeaders(pKnownSetups);
}

std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings)
{
    BinaryFile file(path, BinaryFile::Mode::Read);
    CheckOggVorbisData([&file](std::uint64_t offset, unsigned char *buffer, std::size_t count) { file.ReadAt(offset, buffer, count); },
                       file.Size(), label, warnings);
    return file.Size();
}

void DecodeOggVorbisFile(const std::filesystem::path &path, const std::string &label)
{
    BinaryFile file(path, BinaryFile::Mode::Read);
    const TrackReader read = [&file](std::uint64_t offset, unsigned char *buffer, std::size_t count) {
        file.ReadAt(offset, buffer, count);
    };
    VorbisReader reader(read, file.Size(), label);
    reader.ReadHeaders();
    reader.DecodeRest();
}

void TrackChecksum::MixBlocks(const unsigned char *data, std::size_t blocks)
{
    // Two running sums per lane, as in Fletcher's checksum: the second also tells where a change
    // lies, and plain additions keep up with copying where a multiplication per word would not.
    // The sums stay in locals, one per lane: kept in the members, which the data could alias,
    // each word would cost a load and a store.
    std::uint64_t s0 = sums[0], s1 = sums[1], s2 = sums[2], s3 = sums[3];
    std::uint64_t w0 = weighted[0], w1 = weighted[1], w2 = weighted[2], w3 = weighted[3];
    for (; blocks > 0; --blocks, data += blockSize) {
        s0 += Word(data);
        s1 += Word(data + 8);
        s2 += Word(data + 16);
        s3 += Word(data + 24);
        w0 += s0;
        w1 += s1;
        w2 += s2;
        w3 += s3;
    }
    sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3;
    weighted[0] = w0, weighted[1] = w1, weighted[2] = w2, weighted[3] = w3;
}

void TrackChecksum::Feed(const unsigned char *data, std::size_t size)
{
    length += size;
    if (pendingBytes > 0) {
        const std::size_t taken = std::min(blockSize - pendingBytes, size);
        std::memcpy(pending + pendingBytes, data, taken);
        pendingBytes += taken;
        data += taken;
        size -= taken;
        if (pendingBytes < blockSize)
            return;
        MixBlocks(pending, 1);
        pendingBytes = 0;
    }
    const std::size_t whole = size / blockSize * blockSize;
    MixBlocks(data, whole / blockSize);
    std::memcpy(pending, data + whole, size - whole);
    pendingBytes = size - whole;
}

std::string TrackChecksum::Text() const
{
    TrackChecksum last = *this;
    // The length and a marker close the data, so that no two lengths share a padded last block.
    std::memset(last.pending + last.pendingBytes, 0, blockSize - last.pendingBytes);
    last.pending[last.pendingBytes] = 0x80;
    for (int i = 0; i < 8; ++i)
        last.pending[blockSize - 8 + i] ^= static_cast<unsigned char>(length >> (8 * i));
    last.MixBlocks(last.pending, 1);
    std::uint64_t value = 0;
    for (std::size_t lane = 0; lane < lanes; ++lane)
        for (const std::uint64_t sum : {last.sums[lane], last.weighted[lane]})
            value = (((value << 29) | (value >> 35)) ^ sum) * 0x9E3779B97F4A7C15u;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool OggPageWalker::Feed(const unsigned char *data, std::size_t size)
{
    while (size > 0) {
        if (bodyLeft > 0) {
            const std::size_t skipped = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft, size));
            bodyLeft -= skipped;
            data += skipped;
            size -= skipped;
            continue;
        }
        const std::size_t wanted = headerBytes < pageHeaderSize ? pageHeaderSize : pageHeaderSize + header[26];
        const std::size_t taken = std::min(wanted - headerBytes, size);
        std::memcpy(header + headerBytes, data, taken);
        headerBytes += taken;
        data += taken;
        size -= taken;
        if (headerBytes == pageHeaderSize && (std::memcmp(header, "OggS", 4) != 0 || header[4] != 0))
            return false;
        if (headerBytes >= pageHeaderSize && headerBytes == pageHeaderSize + header[26]) {
            for (std::size_t i = 0; i < header[26]; ++i)
                bodyLeft += header[pageHeaderSize + i];
            headerBytes = 0;
            ++pages;
        }
    }
    return true;
}
}
