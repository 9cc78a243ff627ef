#pragma once
#include <string>

// A playback failure: the sound engine's text for the result code that ended the operation.
// Thrown by value by Player, caught by reference in the player widget.
class Exception
{
public:
    explicit Exception(std::string text) : message(std::move(text)) {}
    std::string GetMessage() const { return message; }

private:
    std::string message;
};
