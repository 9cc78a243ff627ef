#pragma once
#include <stdexcept>
#include <string>

namespace kivo
{
// Everything a tool refuses to do: damaged input, unusable files, failed writes. Its text is the
// one line the user reads, so it names the file and what is wrong with it.
class FormatError : public std::runtime_error
{
public:
    explicit FormatError(const std::string &message) : std::runtime_error(message) {}
};
}
