#include "tool/KivoSfxProcessCaller.h"

#include "tool/KivoProcessRunner.h"

namespace
{
const QString program = QStringLiteral("kivo_sfx.exe");
}

bool KivoSfxProcessCaller::ExportArchive(const QStringList &archivePaths, const QString &targetDirectory,
                                         const QString &bankFilePath)
{
    if (!KivoProcessRunner::CheckBankFileExists(bankFilePath)
        || !KivoProcessRunner::CheckTargetDirectoryExists(targetDirectory)
        || !KivoProcessRunner::CheckProgramExists(program))
        return false;

    QStringList arguments{QStringLiteral("-e")};
    arguments << KivoProcessRunner::AbsolutePaths(archivePaths + QStringList{targetDirectory, bankFilePath});
    return KivoProcessRunner::RunTool(program, arguments, QString(), QStringLiteral("Exporting SFX-archive..."),
                                      QStringLiteral("Please wait while exporting archive..."), warnings);
}

bool KivoSfxProcessCaller::ImportArchive(const QString &newArchivePath, const QString &metafilePath,
                                         const QString &bankFilePath)
{
    return KivoProcessRunner::RunImport(program, newArchivePath, metafilePath, bankFilePath, warnings, output,
                                        beforeFailureShown);
}
