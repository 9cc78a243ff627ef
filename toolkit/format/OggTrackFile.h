#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kivo
{
class Warnings;

// Checks that a track file opens with a sound Ogg page (checksum included) that starts a Vorbis
// stream, and returns the file's size. Throws FormatError naming label when it does not; warns
// about channel counts and rates the game's own tracks do not use. Reads only the first page, so
// packing reads every track once; OggPageWalker checks the rest while it is copied.
std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings);

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
