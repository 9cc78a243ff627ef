#include "tool/KivoStreamProcessCaller.h"

#include "tool/KivoProcessRunner.h"

namespace
{
const QString program = QStringLiteral("kivo_stream.exe");
}

bool KivoStreamProcessCaller::ExportArchive(const QStringList &archivePaths, const QString &targetDirectory,
                                            const QString &metadataFilePath)
{
    if (!KivoProcessRunner::CheckProgramExists(program)
        || !KivoProcessRunner::CheckTargetDirectoryExists(targetDirectory))
        return false;

    const bool withStationNames = !metadataFilePath.isNull();
    QStringList arguments{withStationNames ? QStringLiteral("-r") : QStringLiteral("-e")};
    arguments << KivoProcessRunner::AbsolutePaths(archivePaths + QStringList{targetDirectory});
    if (withStationNames)
        arguments << metadataFilePath;
    return KivoProcessRunner::RunTool(program, arguments, QString(), QStringLiteral("Exporting Stream-archive..."),
                                      QStringLiteral("Please wait while exporting archive..."), warnings);
}

bool KivoStreamProcessCaller::ImportArchive(const QString &newArchivePath, const QString &metafilePath,
                                            const QString &bankFilePath)
{
    return KivoProcessRunner::RunImport(program, newArchivePath, metafilePath, bankFilePath, warnings, output,
                                        beforeFailureShown);
}
