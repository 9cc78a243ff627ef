#include "tool/KivoProcessRunner.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstring>

#include "dialogs/UserDialogs.h"
#include "tool/WaitDialog.h"

namespace KivoProcessRunner
{
namespace
{
const int startTimeoutMs = 30000;

bool Fail(const QString &text)
{
    UserDialogs::Critical(nullptr, QStringLiteral("Error"), text);
    return false;
}
}

bool CheckProgramExists(const QString &program)
{
    return QFile::exists(program) || Fail(program + QStringLiteral(" could not be found."));
}

bool CheckBankFileExists(const QString &bankFilePath)
{
    return QFile::exists(bankFilePath)
        || Fail(QStringLiteral("Bankfile \"") + bankFilePath + QStringLiteral("\" could not be found."));
}

bool CheckTargetDirectoryExists(const QString &targetDirectory)
{
    return QFileInfo(targetDirectory).isDir() || Fail(QStringLiteral("Targetdirectory doesn't exists."));
}

QStringList AbsolutePaths(const QStringList &paths)
{
    QStringList absolute;
    for (const QString &path : paths)
        absolute << QFileInfo(path).absoluteFilePath();
    return absolute;
}

bool RunImport(const QString &program, const QString &newArchivePath, const QString &metafilePath,
               const QString &bankFilePath, QString &warnings, QString &output,
               const BeforeFailureShown &beforeFailure)
{
    if (!CheckProgramExists(program))
        return false;
    if (!QFile::exists(metafilePath))
        return Fail(QStringLiteral("Metafile \"") + metafilePath + QStringLiteral("\" could not be found."));
    if (!CheckBankFileExists(bankFilePath))
        return false;

    const QStringList arguments = QStringList{QStringLiteral("-i")}
                                + AbsolutePaths({newArchivePath, metafilePath, bankFilePath});
    // The tool finds the audio files the metafile names relative to the metafile's folder.
    return RunTool(program, arguments, QFileInfo(metafilePath).absolutePath(),
                   QStringLiteral("Importing Stream-archive..."),
                   QStringLiteral("Please wait while creating archive..."), warnings, &output, beforeFailure);
}

bool RunTool(const QString &program, const QStringList &arguments, const QString &workingDirectory,
             const QString &title, const QString &text, QString &warnings, QString *pOutput,
             const BeforeFailureShown &beforeFailure)
{
    warnings.clear();
    // Declared before the process so that the process goes first on return.
    WaitDialog dialog(title, text);
    QProcess process;
    QObject::connect(&dialog, &WaitDialog::WasCanceled, &process, &QProcess::kill);
    QObject::connect(&process, &QProcess::finished, &dialog, &WaitDialog::ProcessFinished);

    if (!workingDirectory.isNull())
        process.setWorkingDirectory(workingDirectory);
    // Chatter nobody reads would only pile up in memory through a pipe.
    if (!pOutput)
        process.setStandardOutputFile(QProcess::nullDevice());

    // The check found the tool in our current directory; a bare name would be looked up in PATH
    // instead, and a relative one would follow the working directory of an import.
    process.start(QFileInfo(program).absoluteFilePath(), arguments, QIODevice::ReadWrite);
    // A tool that never starts never sends finished(): the dialog would wait for nothing.
    if (!process.waitForStarted(startTimeoutMs))
        return Fail(program + QStringLiteral(" could not be started."));

    if (dialog.exec() != QDialog::Accepted) {
        // Aborted or closed: end the tool here rather than leave it to the destructor, which
        // would complain about a running process.
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        return false;
    }
    if (pOutput)
        *pOutput = QString::fromUtf8(process.readAllStandardOutput());
    return CheckProcessResult(process, warnings, beforeFailure);
}

bool CheckProcessResult(QProcess &process, QString &warnings, const BeforeFailureShown &beforeFailure)
{
    // The tools write UTF-8: paths in their messages may hold any character.
    QString message = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() == QProcess::CrashExit) {
        // A killed tool says nothing itself; on Unix the exit code of a crash is the signal.
        const int signal = process.exitCode();
        message.prepend(QFileInfo(process.program()).fileName() + QStringLiteral(" was ended by signal ")
                        + QString::number(signal) + QStringLiteral(" (") + QString::fromLocal8Bit(::strsignal(signal))
                        + QStringLiteral(").") + (message.isEmpty() ? QString() : QStringLiteral("\n")));
    } else if (process.exitCode() == 0) {
        warnings = message;
        while (warnings.endsWith(QLatin1Char('\n')) || warnings.endsWith(QLatin1Char('\r')))
            warnings.chop(1);
        return true;
    }
    if (beforeFailure)
        beforeFailure();
    UserDialogs::Information(nullptr, QStringLiteral("Error"),
                             QStringLiteral("KIVO returned the following message:\n") + message);
    return false;
}
}
