#include "audio/SoundFile.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

OpenedSoundFile OpenSoundFile(const QByteArray &encodedPath, int mode, SF_INFO *pInfo)
{
    OpenedSoundFile opened;
    // Opening a pipe for reading waits for a writer for good (on the window's thread, for a
    // chosen replacement), and a device never ends: only regular files are read, after links.
    const QFileInfo info(QFile::decodeName(encodedPath));
    if (mode == SFM_READ && info.exists() && !info.isFile()) {
        opened.error = SF_ERR_UNRECOGNISED_FORMAT;
        opened.errorText = info.isDir() ? QStringLiteral("It is a folder.") : QStringLiteral("It is not a regular file.");
        return opened;
    }
    static std::mutex opening;
    const std::lock_guard<std::mutex> lock(opening);
    opened.file.reset(sf_open(encodedPath.constData(), mode, pInfo));
    if (!opened.file) {
        opened.error = sf_error(nullptr);
        opened.errorText = QString::fromLocal8Bit(sf_strerror(nullptr));
    }
    return opened;
}
