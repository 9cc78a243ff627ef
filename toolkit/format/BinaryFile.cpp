#include "format/BinaryFile.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "format/FormatError.h"

namespace kivo
{
namespace
{
constexpr std::size_t streamBuffer = 256 * 1024;

std::FILE *OpenFile(const std::filesystem::path &path, BinaryFile::Mode mode)
{
    const char *flags = mode == BinaryFile::Mode::Read ? "rb" : mode == BinaryFile::Mode::CreateNew ? "wbx" : "wb";
#ifdef _WIN32
    const wchar_t *wideFlags = mode == BinaryFile::Mode::Read ? L"rb" : mode == BinaryFile::Mode::CreateNew ? L"wbx" : L"wb";
    (void)flags;
    return _wfopen(path.c_str(), wideFlags);
#else
    return std::fopen(path.c_str(), flags);
#endif
}

int SeekFile(std::FILE *file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}
}

BinaryFile::BinaryFile(const std::filesystem::path &filePath, Mode mode)
    : path(filePath)
{
    file = OpenFile(path, mode);
    if (!file)
        Fail(mode == Mode::Read ? "cannot open" : "cannot create", errno);
    // Reads mix small header reads with large chunks, so they are buffered; writes come in large
    // chunks, which a buffer would only copy once more.
    if (mode == Mode::Read)
        std::setvbuf(file, nullptr, _IOFBF, streamBuffer);
    else
        std::setvbuf(file, nullptr, _IONBF, 0);
    if (mode == Mode::Read) {
        std::error_code error;
        size = std::filesystem::file_size(path, error);
        if (error) {
            std::fclose(file);
            file = nullptr;
            throw FormatError("cannot read the size of " + path.string() + ": " + error.message());
        }
    }
}

BinaryFile::~BinaryFile()
{
    if (file)
        std::fclose(file);
}

void BinaryFile::ReadAt(std::uint64_t offset, void *buffer, std::size_t count)
{
    if (offset > size || count > size - offset)
        throw FormatError(path.string() + " is truncated: it ends at byte " + std::to_string(size) + ", but "
                          + std::to_string(count) + " bytes are needed at byte " + std::to_string(offset));
    SeekTo(offset);
    const std::size_t got = std::fread(buffer, 1, count, file);
    position += got;
    if (got != count)
        Fail("cannot read", std::ferror(file) ? errno : 0);
}

std::size_t BinaryFile::ReadSome(void *buffer, std::size_t count)
{
    const std::size_t got = std::fread(buffer, 1, count, file);
    position += got;
    if (got != count && std::ferror(file))
        Fail("cannot read", errno);
    return got;
}

void BinaryFile::Write(const void *data, std::size_t count)
{
    SeekTo(size);
    if (std::fwrite(data, 1, count, file) != count)
        Fail("cannot write", errno);
    size += count;
    position = size;
}

void BinaryFile::WriteAt(std::uint64_t offset, const void *data, std::size_t count)
{
    if (offset > size || count > size - offset)
        throw FormatError("internal error: overwriting bytes not yet written in " + path.string());
    SeekTo(offset);
    if (std::fwrite(data, 1, count, file) != count)
        Fail("cannot write", errno);
    position = offset + count;
}

void BinaryFile::Close()
{
    if (!file)
        return;
    std::FILE *closing = file;
    file = nullptr;
    const bool flushed = std::fflush(closing) == 0;
    const int flushError = errno;
    if (std::fclose(closing) != 0 || !flushed)
        Fail("cannot write", flushed ? errno : flushError);
}

void BinaryFile::SeekTo(std::uint64_t offset)
{
    if (offset == position)
        return;
    if (SeekFile(file, offset) != 0)
        Fail("cannot seek in", errno);
    position = offset;
}

void BinaryFile::Fail(const char *what, int error) const
{
    std::string message = std::string(what) + " " + path.string();
    if (error != 0)
        message += ": " + std::string(std::strerror(error));
    throw FormatError(message);
}
}
