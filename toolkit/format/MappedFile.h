#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace kivo
{
// A whole file's bytes to read in place. Where the system maps files into memory, they are the
// system's cached pages themselves, so reading them costs no copy (listing a package checksums
// all of it, and the copy would cost more than the checksum); elsewhere the file is read whole.
// The tools map only archives the program replaces by renaming a new file over them, which
// leaves a mapped file's bytes as they were; a program that cut one short in place while it is
// mapped would end the tool with a signal.
class MappedFile
{
public:
    // Throws FormatError naming the file when it cannot be opened, sized or mapped.
    explicit MappedFile(const std::filesystem::path &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    const unsigned char *Data() const { return data; }
    std::uint64_t Size() const { return size; }

private:
    const unsigned char *data = nullptr;
    std::uint64_t size = 0;
    bool bMapped = false;
    std::vector<unsigned char> bytes; // where nothing is mapped
};
}
