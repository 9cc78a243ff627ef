#include "audio/SoundResult.h"

namespace SoundResult
{
const char *Text(int code)
{
    // Most texts end with a blank on purpose: they are shown unchanged and users know them so.
    switch (code) {
    case Ok:
        return "No errors.";
    case FileNotFound:
        return "File not found. ";
    case Format:
        return "Unsupported file or audio format. ";
    case FileBad:
        return "Error loading file. ";
    case FileEof:
        return "End of file unexpectedly reached while trying to read essential data (truncated data?). ";
    case InvalidHandle:
        return "An invalid object handle was used. ";
    case Memory:
        return "Not enough memory or resources. ";
    case OutputInit:
        return "Error initializing output device. ";
    case InvalidParam:
        return "The sound engine was given an invalid argument. ";
    case NotInitialised:
        return "The sound engine has not been initialised. ";
    case AlreadyInitialised:
        return "The sound engine is already initialised. ";
    case PositionOutOfRange:
        return "The position lies beyond the end of the sound. ";
    }
    return "Unknown error.";
}
}
