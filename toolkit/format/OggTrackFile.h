#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace kivo
{
class Warnings;

// Checks that a track file opens with a sound Ogg page (checksum included) that starts a Vorbis
// stream, and that its three Vorbis headers (identification, comment, setup) are complete and
// parse, and returns the file's size. Throws FormatError naming label when it does not; warns
// about channel counts and rates the game's own tracks do not use. Reads only as far as the
// headers, so packing reads every track once; OggPageWalker checks the rest while it is copied.
std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings);

// Where the three Vorbis headers end in Ogg data of which the first `held` bytes are at hand: the
// end of the page that completes the third packet, told from the page headers alone. Returns that
// end with bEnds true once the held bytes show it; otherwise bEnds is false and the returned size
// is how many bytes must be held at least to tell more: no more than held where a page header is
// none, which the full check then tells apart.
std::size_t VorbisHeadersEnd(const unsigned char *ogg, std::size_t held, bool &bEnds);

// How much of a track's Ogg data the checks below read first, and then at a time: the Vorbis
// headers usually end within the first few kilobytes, and most tracks are read no further.
constexpr std::size_t OggReadAhead = 16 * 1024;

// Reads count bytes of a track's Ogg data at offset; offset + count never passes its size.
using TrackReader = std::function<void(std::uint64_t offset, unsigned char *buffer, std::size_t count)>;
// CheckOggVorbisFile() for Ogg data of size bytes that is no file of its own, as a track inside a pack.
// Unpacking a setup header's codebooks costs far more than reading it, and one encoder gives every
// track of a game the same one: with pKnownSetups, a setup header among them is not parsed again,
// and one that parses is added.
void CheckOggVorbisData(const TrackReader &read, std::uint64_t size, const std::string &label, Warnings &warnings,
                        std::set<std::string, std::less<>> *pKnownSetups = nullptr);

// Decodes a whole track, which costs far more than copying it: for tracks that are not the ones
// unpacking wrote. Throws FormatError naming label at the first page or packet that does not
// decode, as garbage that kept valid page checksums does not.
void DecodeOggVorbisFile(const std::filesystem::path &path, const std::string &label);

// A checksum of a track's bytes handed over in pieces, fast enough to take while copying: tells
// packing whether a track is still the one unpacking wrote. Not meant to withstand forgery.
class TrackChecksum
{
public:
    void Feed(const unsigned char *data, std::size_t size);
    // 16 hexadecimal digits over everything fed so far.
    std::string Text() const;

private:
    static constexpr std::size_t lanes = 4;             // independent, so that they run side by side
    static constexpr std::size_t blockSize = lanes * 8; // a word of 8 bytes per lane
    void MixBlocks(const unsigned char *data, std::size_t blocks);

    std::uint64_t sums[lanes] = {};
    std::uint64_t weighted[lanes] = {};
    unsigned char pending[blockSize] = {};
    std::size_t pendingBytes = 0;
    std::uint64_t length = 0;
};

// Follows the page structure of Ogg data handed over in pieces, so that a track cut off or
// damaged after its first page is noticed while it is being copied.
class OggPageWalker
{
public:
    // False as soon as a page header is not where the previous page ended.
    bool Feed(const unsigned char *data, std::size_t size);
    // True when the data seen so far ends exactly after a complete page.
    bool AtPageEnd() const { return pages > 0 && headerBytes == 0 && bodyLeft == 0; }

private:
    unsigned char header[27 + 255] = {};
    std::size_t headerBytes = 0;
    std::uint64_t bodyLeft = 0;
    std::uint64_t pages = 0;
};
}
