#include "audio/SoundFile.h"

#include <mutex>

OpenedSoundFile OpenSoundFile(const QByteArray &encodedPath, int mode, SF_INFO *pInfo)
{
    static std::mutex opening;
    const std::lock_guard<std::mutex> lock(opening);
    OpenedSoundFile opened;
    opened.file.reset(sf_open(encodedPath.constData(), mode, pInfo));
    if (!opened.file) {
        opened.error = sf_error(nullptr);
        opened.errorText = QString::fromLocal8Bit(sf_strerror(nullptr));
    }
    return opened;
}
