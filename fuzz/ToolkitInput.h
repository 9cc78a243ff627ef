#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

// The toolkit targets read several files from one input: each part but the last is a 16-bit
// little-endian length followed by that many bytes (cut short where the input ends); the last
// part is the rest. fuzz_seeds writes real game files in this form.
class ToolkitInput
{
public:
    ToolkitInput(const uint8_t *data, size_t size) : data(data), size(size) {}

    std::string NextPart()
    {
        if (size - position < 2)
            return Rest();
        const size_t length = data[position] | size_t(data[position + 1]) << 8;
        position += 2;
        const size_t taken = length < size - position ? length : size - position;
        const std::string part(reinterpret_cast<const char *>(data + position), taken);
        position += taken;
        return part;
    }

    std::string Rest()
    {
        const std::string part(reinterpret_cast<const char *>(data + position), size - position);
        position = size;
        return part;
    }

    // The opposite direction, for the seed maker.
    static std::string Part(const std::string &bytes)
    {
        const size_t length = bytes.size() < 0xFFFF ? bytes.size() : 0xFFFF;
        return std::string{char(length & 0xFF), char(length >> 8)} + bytes.substr(0, length);
    }

private:
    const uint8_t *data;
    size_t size;
    size_t position = 0;
};

// Writes a scratch file the tools then read; false when it cannot be written.
inline bool WriteScratchFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(file.flush());
}

// A name table of the game's form: each name padded with zeros to one record.
inline std::string NameTable(std::initializer_list<const char *> names, std::size_t recordSize)
{
    std::string table;
    for (const char *name : names) {
        std::string record(name);
        record.resize(recordSize, '\0');
        table += record;
    }
    return table;
}
