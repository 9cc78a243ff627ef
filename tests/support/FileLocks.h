#pragma once
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Makes a file or folder read-only for whoever runs the test, or writable again. Root ignores
// permission bits, so it gets the immutable attribute, which stops even root from changing,
// renaming or removing a file, or from adding and removing entries of a folder.
inline bool SetLocked(const QString &path, bool bOn)
{
    if (geteuid() != 0) {
        const auto execute = QFileInfo(path).isDir() ? QFile::ExeOwner : QFile::Permissions();
        return QFile::setPermissions(path, QFile::ReadOwner | execute | (bOn ? QFile::Permissions() : QFile::WriteOwner));
    }
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool bDone = descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    flags = bOn ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    bDone = bDone && ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    if (descriptor >= 0)
        ::close(descriptor);
    return bDone;
}

// Unlocks everything it locked when it goes.
struct Locks
{
    ~Locks() { UnlockAll(); }
    bool Lock(const QString &path)
    {
        if (SetLocked(path, true))
            locked << path;
        return locked.contains(path);
    }
    void UnlockAll()
    {
        for (const QString &path : std::as_const(locked))
            SetLocked(path, false);
        locked.clear();
    }
    QStringList locked;
};

