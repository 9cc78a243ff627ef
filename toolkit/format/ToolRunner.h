#pragma once
#include <functional>
#include <string>
#include <vector>

namespace kivo
{
class Warnings;

// The exit contract both tools share: work() either finishes, and its warnings go to standard
// error with exit code 0, or throws, and exactly one line naming the problem goes to standard
// error with exit code 1. Nothing thrown escapes as a crash.
int RunTool(const std::function<void(Warnings &)> &work);

// When args is just "--help" or "--version": prints help, or "<tool> (RozivOze) <version>", to
// standard output and returns true.
bool AnswerInformationRequest(const std::vector<std::string> &args, const char *tool, const char *help);

// For a wrong command line: prints usage as the one line and returns exit code 2.
int UsageError(const char *usage);
}
