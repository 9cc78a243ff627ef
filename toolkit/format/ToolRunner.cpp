#include "format/ToolRunner.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "format/Warnings.h"

namespace kivo
{
namespace
{
void PrintLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    std::fprintf(stderr, "%s\n", text.c_str());
}
}

int RunTool(const std::function<void(Warnings &)> &work)
{
    Warnings warnings;
    try {
        work(warnings);
    } catch (const std::bad_alloc &) {
        PrintLine("not enough memory");
        return 1;
    } catch (const std::exception &error) {
        PrintLine(error.what());
        return 1;
    } catch (...) {
        PrintLine("unexpected internal error");
        return 1;
    }
    for (const std::string &line : warnings.Lines())
        PrintLine("warning: " + line);
    return 0;
}

bool AnswerInformationRequest(const std::vector<std::string> &args, const char *tool, const char *help)
{
    if (args.size() != 1 || (args[0] != "--help" && args[0] != "--version"))
        return false;
    if (args[0] == "--version")
        std::printf("%s (RozivOze) %s\n", tool, ROZIVOZE_VERSION);
    else
        std::printf("%s", help);
    return true;
}

int UsageError(const char *usage)
{
    PrintLine(std::string("wrong command line; usage: ") + usage);
    return 2;
}
}
