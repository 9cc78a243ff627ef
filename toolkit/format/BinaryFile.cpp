#include "format/BinaryFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "format/FormatError.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kivo
{
namespace
{
constexpr std::size_t plainCopyPiece = 256 * 1024;

// The system calls behind BinaryFile, one small set per platform. Each returns what the system
// returns (-1 with errno set on failure); the POSIX ones retry when a signal interrupts them.
#ifdef _WIN32
// Positioned reads and writes go through the descriptor's own offset here: the tools use each
// file from one thread, so a seek before each call is all it takes.
constexpr std::size_t largestCall = INT_MAX;

int OpenDescriptor(const std::filesystem::path &path, BinaryFile::Mode mode)
{
    const int flags = mode == BinaryFile::Mode::Read        ? _O_RDONLY
                    : mode == BinaryFile::Mode::CreateNew ? _O_WRONLY | _O_CREAT | _O_EXCL
                                                          : _O_WRONLY | _O_CREAT | _O_TRUNC;
    return _wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

long long ReadAtOffset(int descriptor, void *buffer, std::size_t count, std::uint64_t offset)
{
    if (_lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) < 0)
        return -1;
    return _read(descriptor, buffer, static_cast<unsigned>(count));
}

long long WriteAtOffset(int descriptor, const void *data, std::size_t count, std::uint64_t offset)
{
    if (_lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) < 0)
        return -1;
    return _write(descriptor, data, static_cast<unsigned>(count));
}

int CloseDescriptor(int descriptor) { return _close(descriptor); }

int SyncDescriptor(int descriptor) { return _commit(descriptor); }

int ResizeDescriptor(int descriptor, std::uint64_t total)
{
    const errno_t error = _chsize_s(descriptor, static_cast<__int64>(total));
    errno = error;
    return error == 0 ? 0 : -1;
}

// 0 for a regular file, else an errno value saying why its size cannot be read.
int SizeOf(int descriptor, std::uint64_t &size)
{
    struct _stat64 status;
    if (_fstat64(descriptor, &status) != 0)
        return errno;
    if ((status.st_mode & _S_IFMT) == _S_IFDIR)
        return EISDIR;
    if ((status.st_mode & _S_IFMT) != _S_IFREG)
        return ENOTSUP;
    size = static_cast<std::uint64_t>(status.st_size);
    return 0;
}
#else
constexpr std::size_t largestCall = 1u << 30;

int OpenDescriptor(const std::filesystem::path &path, BinaryFile::Mode mode)
{
    // Opening a pipe for reading would wait for a writer for good: open without waiting, and
    // the size check refuses anything that is not a plain file before it is read.
    const int flags = mode == BinaryFile::Mode::Read        ? O_RDONLY | O_NONBLOCK
                    : mode == BinaryFile::Mode::CreateNew ? O_WRONLY | O_CREAT | O_EXCL
                                                          : O_WRONLY | O_CREAT | O_TRUNC;
    int descriptor;
    do
        descriptor = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

long long ReadAtOffset(int descriptor, void *buffer, std::size_t count, std::uint64_t offset)
{
    ssize_t got;
    do
        got = ::pread(descriptor, buffer, count, static_cast<off_t>(offset));
    while (got < 0 && errno == EINTR);
    return got;
}

long long WriteAtOffset(int descriptor, const void *data, std::size_t count, std::uint64_t offset)
{
    ssize_t put;
    do
        put = ::pwrite(descriptor, data, count, static_cast<off_t>(offset));
    while (put < 0 && errno == EINTR);
    return put;
}

int CloseDescriptor(int descriptor) { return ::close(descriptor); }

int SyncDescriptor(int descriptor)
{
    int result;
    do
        result = ::fsync(descriptor);
    while (result < 0 && errno == EINTR);
    return result;
}

int ResizeDescriptor(int descriptor, std::uint64_t total)
{
    int result;
    do
        result = ::ftruncate(descriptor, static_cast<off_t>(total));
    while (result < 0 && errno == EINTR);
    return result;
}

int SizeOf(int descriptor, std::uint64_t &size)
{
    struct stat status;
    if (::fstat(descriptor, &status) != 0)
        return errno;
    if (S_ISDIR(status.st_mode))
        return EISDIR;
    if (!S_ISREG(status.st_mode))
        return ENOTSUP;
    size = static_cast<std::uint64_t>(status.st_size);
    return 0;
}
#endif
}

BinaryFile::BinaryFile(const std::filesystem::path &filePath, Mode mode)
    : path(filePath)
{
    descriptor = OpenDescriptor(path, mode);
    if (descriptor < 0)
        Fail(mode == Mode::Read ? "cannot open" : "cannot create", errno);
    if (mode == Mode::Read) {
        std::uint64_t opened = 0;
        const int error = SizeOf(descriptor, opened);
        size = opened;
        if (error == ENOTSUP) {
            CloseDescriptor(descriptor);
            descriptor = -1;
            throw FormatError(path.string() + " is not a plain file");
        }
        if (error != 0) {
            CloseDescriptor(descriptor);
            descriptor = -1;
            throw FormatError("cannot read the size of " + path.string() + ": " + std::generic_category().message(error));
        }
    }
}

BinaryFile::BinaryFile(const std::filesystem::path &filePath, int openDescriptor)
    : path(filePath)
    , descriptor(openDescriptor)
{
}

std::unique_ptr<BinaryFile> BinaryFile::CreateUnlessExists(const std::filesystem::path &filePath)
{
    const int opened = OpenDescriptor(filePath, Mode::CreateNew);
    if (opened < 0 && errno == EEXIST)
        return nullptr;
    std::unique_ptr<BinaryFile> file(new BinaryFile(filePath, opened));
    if (opened < 0)
        file->Fail("cannot create", errno);
    return file;
}

std::unique_ptr<BinaryFile> BinaryFile::CreateUnnamed(const std::filesystem::path &shownPath)
{
#if defined(__linux__) && defined(O_TMPFILE)
    // Naming such a file later goes through /proc; without it, keep to named temporaries. Tests
    // ask for those with KIVO_TEST_NAMED_TEMPORARIES, to reach what other systems do.
    static const bool canName = ::access("/proc/self/fd", F_OK) == 0 && !std::getenv("KIVO_TEST_NAMED_TEMPORARIES");
    if (!canName)
        return nullptr;
    const std::filesystem::path folder = shownPath.has_parent_path() ? shownPath.parent_path() : ".";
    int opened;
    do
        opened = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    while (opened < 0 && errno == EINTR);
    // Whatever stops it (a file system without unnamed files, no permission, a missing folder),
    // a named file meets the same obstacle and reports it in the usual words.
    if (opened < 0)
        return nullptr;
    return std::unique_ptr<BinaryFile>(new BinaryFile(shownPath, opened));
#else
    (void)shownPath;
    return nullptr;
#endif
}

bool BinaryFile::LinkAs(const std::filesystem::path &name)
{
#if defined(__linux__) && defined(O_TMPFILE)
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", descriptor);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw FormatError("cannot create " + name.string() + ": " + std::strerror(errno));
#else
    (void)name;
    throw FormatError("internal error: " + path.string() + " is not an unnamed file");
#endif
}

BinaryFile::~BinaryFile()
{
    if (descriptor >= 0)
        CloseDescriptor(descriptor);
}

void BinaryFile::CheckRange(std::uint64_t offset, std::uint64_t count) const
{
    const std::uint64_t end = size;
    if (offset > end || count > end - offset)
        throw FormatError(path.string() + " is truncated: it ends at byte " + std::to_string(end) + ", but "
                          + std::to_string(count) + " bytes are needed at byte " + std::to_string(offset));
}

void BinaryFile::ReadAt(std::uint64_t offset, void *buffer, std::size_t count)
{
    CheckRange(offset, count);
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (count > 0) {
        const long long got = ReadAtOffset(descriptor, bytes, std::min(count, largestCall), offset);
        if (got <= 0)
            Fail("cannot read", got < 0 ? errno : 0);
        bytes += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
}

std::size_t BinaryFile::ReadSome(void *buffer, std::size_t count)
{
    auto *bytes = static_cast<unsigned char *>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const long long got = ReadAtOffset(descriptor, bytes + total, std::min(count - total, largestCall), readPosition);
        if (got < 0)
            Fail("cannot read", errno);
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
        readPosition += static_cast<std::uint64_t>(got);
    }
    return total;
}

void BinaryFile::Write(const void *data, std::size_t count)
{
    WriteAll(size, static_cast<const unsigned char *>(data), count);
    size += count;
}

void BinaryFile::WriteAll(std::uint64_t offset, const unsigned char *bytes, std::size_t count)
{
    while (count > 0) {
        const long long put = WriteAtOffset(descriptor, bytes, std::min(count, largestCall), offset);
        if (put <= 0)
            Fail("cannot write", put < 0 ? errno : ENOSPC);
        bytes += put;
        offset += static_cast<std::uint64_t>(put);
        count -= static_cast<std::size_t>(put);
    }
}

void BinaryFile::Resize(std::uint64_t total)
{
    if (ResizeDescriptor(descriptor, total) != 0)
        Fail("cannot write", errno);
    size = total;
}

void BinaryFile::AppendFrom(BinaryFile &source, std::uint64_t sourceOffset, std::uint64_t count)
{
    source.CheckRange(sourceOffset, count);
    if (count == 0 || AppendInKernel(source, sourceOffset, count))
        return;
    // One buffer per thread, kept: fresh memory is slow to touch the first time.
    thread_local std::unique_ptr<unsigned char[]> buffer(new unsigned char[plainCopyPiece]);
    while (count > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, plainCopyPiece));
        source.ReadAt(sourceOffset, buffer.get(), piece);
        Write(buffer.get(), piece);
        sourceOffset += piece;
        count -= piece;
    }
}

// Copies what it can within the system and returns true once all is copied; false leaves the
// rest (offset and count moved past what was copied) to be copied through memory.
bool BinaryFile::AppendInKernel(BinaryFile &source, std::uint64_t &sourceOffset, std::uint64_t &count)
{
#ifdef __linux__
    static const bool plainCopyWanted = std::getenv("KIVO_TEST_PLAIN_COPY") != nullptr;
    if (plainCopyWanted)
        return false;
    while (count > 0) {
        loff_t from = static_cast<loff_t>(sourceOffset);
        loff_t to = static_cast<loff_t>(size);
        const ssize_t copied = ::copy_file_range(source.descriptor, &from, descriptor, &to,
                                                 static_cast<std::size_t>(std::min<std::uint64_t>(count, largestCall)), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        // Not between these two files (different file systems, an old kernel, a file system that
        // does not take part): memory will do.
        if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM))
            return false;
        if (copied < 0)
            Fail("cannot write", errno);
        if (copied == 0)
            source.Fail("cannot read", 0); // the source ends before the size it had when opened
        sourceOffset += static_cast<std::uint64_t>(copied);
        size += static_cast<std::uint64_t>(copied);
        count -= static_cast<std::uint64_t>(copied);
    }
    return true;
#else
    (void)source;
    (void)sourceOffset;
    (void)count;
    return false;
#endif
}

void BinaryFile::WriteAt(std::uint64_t offset, const void *data, std::size_t count)
{
    const std::uint64_t end = size;
    if (offset > end || count > end - offset)
        throw FormatError("internal error: overwriting bytes not yet written in " + path.string());
    WriteAll(offset, static_cast<const unsigned char *>(data), count);
}

void BinaryFile::Sync()
{
    if (SyncDescriptor(descriptor) != 0)
        Fail("cannot write", errno);
}

void BinaryFile::SyncFolder(const std::filesystem::path &folder)
{
#ifdef _WIN32
    (void)folder; // folder entries cannot be synced here; NTFS journals them itself
#else
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    int opened;
    do
        opened = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (opened < 0 && errno == EINTR);
    if (opened < 0)
        throw FormatError("cannot sync the folder " + where.string() + ": " + std::strerror(errno));
    const int synced = SyncDescriptor(opened);
    const int error = errno;
    CloseDescriptor(opened);
    // Some file systems cannot sync a folder at all; their renames are as lasting as they get.
    if (synced != 0 && error != EINVAL && error != ENOTSUP)
        throw FormatError("cannot sync the folder " + where.string() + ": " + std::strerror(error));
#endif
}

void BinaryFile::Close()
{
    if (descriptor < 0)
        return;
    const int closing = descriptor;
    descriptor = -1;
    if (CloseDescriptor(closing) != 0)
        Fail("cannot write", errno);
}

void BinaryFile::Fail(const char *what, int error) const
{
    std::string message = std::string(what) + " " + path.string();
    if (error != 0)
        message += ": " + std::string(std::strerror(error));
    throw FormatError(message);
}
}
