#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace kivo
{
// One open file with 64-bit offsets (packages exceed 2 GiB). Every failing call throws
// FormatError naming the file; the destructor closes quietly, Close() reports.
class BinaryFile
{
public:
    enum class Mode {
        Read,
        CreateNew, // fails when the file exists: temporaries never clobber anything
        Replace,   // creates or truncates
    };

    BinaryFile(const std::filesystem::path &path, Mode mode);
    ~BinaryFile();
    BinaryFile(const BinaryFile &) = delete;
    BinaryFile &operator=(const BinaryFile &) = delete;

    const std::filesystem::path &Path() const { return path; }
    // Size at opening for a read file; bytes written so far for a written one.
    std::uint64_t Size() const { return size; }

    // Reads exactly size bytes at offset; a file that ends earlier is reported as truncated.
    void ReadAt(std::uint64_t offset, void *buffer, std::size_t count);
    // Reads up to count bytes from the current position; 0 at the end.
    std::size_t ReadSome(void *buffer, std::size_t count);

    void Write(const void *data, std::size_t count);
    // Overwrites bytes already written (a header reserved earlier) and returns to the end.
    void WriteAt(std::uint64_t offset, const void *data, std::size_t count);
    std::uint64_t WritePosition() const { return size; }

    void Close();

private:
    void SeekTo(std::uint64_t offset);
    [[noreturn]] void Fail(const char *what, int error) const;

    std::filesystem::path path;
    std::FILE *file = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0; // where the stream stands, to skip needless seeks
};
}
