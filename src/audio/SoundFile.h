#pragma once
#include <QString>

#include <memory>

#include <sndfile.h>

struct SndFileCloser
{
    void operator()(SNDFILE *pFile) const { sf_close(pFile); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

// A sound file just opened, or libsndfile's error code and words for why it could not be.
struct OpenedSoundFile
{
    SndFilePtr file;
    int error = SF_ERR_NO_ERROR;
    QString errorText;
};

// libsndfile keeps the error of a failed open in one variable for the whole process, and an open on
// another thread (the waveform's worker) may overwrite it before it is read: the user was then told
// "No Error." of a file that could not be read. So every open of the program goes through here,
// and a failure is read under the same lock. Anything but a regular file is refused for reading.
OpenedSoundFile OpenSoundFile(const QByteArray &encodedPath, int mode, SF_INFO *pInfo);
