#pragma once
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <unistd.h>

// Makes a file or folder read-only for whoever runs the test, or writable again. Root ignores
// permission bits, so it gets the immutable attribute, which stops even root from changing,
// renaming or removing a file, or from adding and removing entries of a folder.
inline bool SetLocked(const QString &path, bool bOn)
{
    if (geteuid() == 0)
        return QProcess::execute("chattr", {bOn ? "+i" : "-i", path}) == 0;
    const auto execute = QFileInfo(path).isDir() ? QFile::ExeOwner : QFile::Permissions();
    return QFile::setPermissions(path, QFile::ReadOwner | execute | (bOn ? QFile::Permissions() : QFile::WriteOwner));
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
