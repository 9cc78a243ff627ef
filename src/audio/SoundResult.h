#pragma once

// The result codes of the sound engine and the texts the user reads for them. Every engine
// operation returns one of these codes; 0 is success. The numbers never change meaning.
namespace SoundResult
{
enum Code : int
{
    Ok = 0,
    FileNotFound = 1,
    Format = 2,              // not audio, or audio that cannot be decoded
    FileBad = 3,             // recognised, but broken or unreadable
    FileEof = 4,             // ends before the audio data it announces
    InvalidHandle = 5,
    Memory = 6,
    OutputInit = 7,          // no output device, or it is busy
    InvalidParam = 8,
    NotInitialised = 9,
    AlreadyInitialised = 10,
    PositionOutOfRange = 11
};

// The text of a code; "Unknown error." for a code that has none, negative ones included.
const char *Text(int code);
}
