#pragma once
#include <string>
#include <vector>

namespace kivo
{
// Notes about input the tools accept but the user should hear of (a grown bank, a reset loop).
// They are printed only when the run succeeds: a failed run prints its one error line alone.
class Warnings
{
public:
    void Add(const std::string &text) { lines.push_back(text); }
    const std::vector<std::string> &Lines() const { return lines; }

private:
    std::vector<std::string> lines;
};
}
