#pragma once
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

// What every toolkit run shares: the input checks, starting the tool under the wait dialog and
// judging how it ended. Each function that returns false has already shown the reason to the
// user (or the user aborted); callers add nothing.
namespace KivoProcessRunner
{
// The tools are looked for in the program's current directory only.
bool CheckProgramExists(const QString &program);
bool CheckBankFileExists(const QString &bankFilePath);
bool CheckTargetDirectoryExists(const QString &targetDirectory);

// Runs before the box that tells of a failed run, so that the box speaks of a folder that is
// already as it says (a save undone first); may be empty.
using BeforeFailureShown = std::function<void()>;

// Every path as the tools need it: absolute, since an import runs in the metafile's folder.
QStringList AbsolutePaths(const QStringList &paths);

// Checks the program, the metafile and the bank file, then runs "-i" with the metafile's folder
// as the tool's working directory; `output` then holds what the tool printed on standard output
// (the new archive's figures).
bool RunImport(const QString &program, const QString &newArchivePath, const QString &metafilePath,
               const QString &bankFilePath, QString &warnings, QString &output,
               const BeforeFailureShown &beforeFailure = {});

// Starts the program with the arguments and keeps the wait dialog up until it ends. A null
// workingDirectory leaves the tool in ours. True only when the tool ran to its end with exit
// code 0; `warnings` then holds what it printed on standard error, and is empty otherwise. With
// pOutput, that receives what it printed on standard output; without, nobody reads that.
bool RunTool(const QString &program, const QStringList &arguments, const QString &workingDirectory,
             const QString &title, const QString &text, QString &warnings, QString *pOutput = nullptr,
             const BeforeFailureShown &beforeFailure = {});

// For a finished process: true on exit code 0, with its standard error in `warnings`; else shows
// the tool's standard error, or the signal that ended it.
bool CheckProcessResult(QProcess &process, QString &warnings, const BeforeFailureShown &beforeFailure = {});
}
