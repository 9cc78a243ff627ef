#include "format/MappedFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "format/BinaryFile.h"
#include "format/FormatError.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kivo
{
#ifdef _WIN32
MappedFile::MappedFile(const std::filesystem::path &path)
{
    BinaryFile file(path, BinaryFile::Mode::Read);
    if (file.Size() > std::numeric_limits<std::size_t>::max())
        throw FormatError(path.string() + " is too large to be read whole");
    bytes.resize(static_cast<std::size_t>(file.Size()));
    file.ReadAt(0, bytes.data(), bytes.size());
    data = bytes.data();
    size = bytes.size();
}

MappedFile::~MappedFile() = default;
#else
MappedFile::MappedFile(const std::filesystem::path &path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        throw FormatError("cannot open " + path.string() + ": " + std::strerror(errno));
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0) {
        const int error = errno;
        ::close(descriptor);
        throw FormatError("cannot read the size of " + path.string() + ": " + std::strerror(error));
    }
    size = static_cast<std::uint64_t>(status.st_size);
    if (size == 0 || size > std::numeric_limits<std::size_t>::max()) {
        ::close(descriptor);
        if (size != 0)
            throw FormatError(path.string() + " is too large to be read whole");
        return;
    }
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    // Taking the pages in one call costs far less than a fault for each of them.
    flags |= MAP_POPULATE;
#endif
    void *mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, flags, descriptor, 0);
    const int error = errno;
    ::close(descriptor); // the mapping keeps the file
    if (mapped == MAP_FAILED)
        throw FormatError("cannot map " + path.string() + ": " + std::strerror(error));
    data = static_cast<const unsigned char *>(mapped);
    bMapped = true;
}

MappedFile::~MappedFile()
{
    if (bMapped)
        ::munmap(const_cast<unsigned char *>(data), static_cast<std::size_t>(size));
}
#endif
}
