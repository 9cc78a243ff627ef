#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

namespace kivo
{
class Warnings;

// Checks that a track file is an Ogg Vorbis file libsndfile can open, and returns its size.
// Throws FormatError naming label when it is not; warns about variants the game may not play.
std::uint64_t CheckOggVorbisFile(const std::filesystem::path &path, const std::string &label, Warnings &warnings);
}
