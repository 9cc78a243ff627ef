#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace kivo
{
// One open file with 64-bit offsets (packages exceed 2 GiB). Every failing call throws
// FormatError naming the file; the destructor closes quietly, Close() reports.
// Nothing is buffered here: a read goes straight to the system at the offset asked for, so a
// header read costs one call and a large read lands in the caller's buffer without a copy, and
// a write is handed over as it comes. Callers that produce small pieces gather them first.
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

    // Creates path like Mode::CreateNew, but returns nullptr when something already exists
    // there instead of throwing; other failures throw.
    static std::unique_ptr<BinaryFile> CreateUnlessExists(const std::filesystem::path &path);
    // A new file without a name in the folder of shownPath, written like Mode::CreateNew and
    // named later by LinkAs; if it is never named, the system drops it when it is closed, even
    // when the process is killed. Messages name shownPath. Returns nullptr where the system or
    // the file system has no such files, or when the environment variable
    // KIVO_TEST_NAMED_TEMPORARIES is set; the caller then writes under a name of its own.
    static std::unique_ptr<BinaryFile> CreateUnnamed(const std::filesystem::path &shownPath);

    const std::filesystem::path &Path() const { return path; }
    // Size at opening for a read file; bytes written so far for a written one.
    std::uint64_t Size() const { return size; }

    // Reads exactly size bytes at offset; a file that ends earlier is reported as truncated.
    void ReadAt(std::uint64_t offset, void *buffer, std::size_t count);
    // Reads up to count bytes from where the previous ReadSome stopped; 0 at the end.
    std::size_t ReadSome(void *buffer, std::size_t count);

    void Write(const void *data, std::size_t count);
    // Makes a written file total bytes long (zeros where nothing was written yet), so that
    // WriteAt can fill it in any order.
    void Resize(std::uint64_t total);
    // Appends count bytes of source, read from sourceOffset on, as Write would. Where the system
    // copies between files itself (Linux), the bytes do not pass through this process: no buffer
    // to fill, and one call instead of a read and a write. Where it cannot (other systems, files
    // on different file systems) they are copied through memory. The environment variable
    // KIVO_TEST_PLAIN_COPY makes every copy go through memory, so that tests reach that path.
    void AppendFrom(BinaryFile &source, std::uint64_t sourceOffset, std::uint64_t count);
    // Overwrites bytes already written (a header reserved earlier); later writes still append.
    void WriteAt(std::uint64_t offset, const void *data, std::size_t count);
    std::uint64_t WritePosition() const { return size; }

    // Gives a file from CreateUnnamed the name path; false when something already exists there.
    bool LinkAs(const std::filesystem::path &name);

    // Waits until what was written is on the disk itself, so that a power cut after a rename
    // cannot leave the new name on an empty or short file.
    void Sync();
    // The same for a folder's entries: a rename or a new name is only lasting once its folder is
    // synced. Where the system cannot sync a folder this does nothing.
    static void SyncFolder(const std::filesystem::path &folder);

    void Close();

private:
    BinaryFile(const std::filesystem::path &path, int descriptor);
    void CheckRange(std::uint64_t offset, std::uint64_t count) const;
    // Writes all count bytes at offset, in as many calls as the system needs.
    void WriteAll(std::uint64_t offset, const unsigned char *bytes, std::size_t count);
    bool AppendInKernel(BinaryFile &source, std::uint64_t &sourceOffset, std::uint64_t &count);
    [[noreturn]] void Fail(const char *what, int error) const;

    std::filesystem::path path;
    int descriptor = -1;
    std::uint64_t size = 0;
    std::uint64_t readPosition = 0; // where ReadSome continues
};
}
