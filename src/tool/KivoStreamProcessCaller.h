#pragma once
#include <QString>
#include <QStringList>

#include <functional>

// Runs kivo_stream.exe under the wait dialog. Each call returns true when the tool ran to its
// end with exit code 0; on false the reason has already been shown (or the user aborted).
class KivoStreamProcessCaller
{
public:
    virtual ~KivoStreamProcessCaller() = default;
    // A null metadataFilePath selects the plain export ("-e"); any other, even empty, "-r".
    bool ExportArchive(const QStringList &archivePaths, const QString &targetDirectory, const QString &metadataFilePath);
    bool ImportArchive(const QString &newArchivePath, const QString &metafilePath, const QString &bankFilePath);

    // What the last successful run printed on standard error (a converted sound, a bank grown
    // past what the game's buffers may hold), without the final line end; empty when nothing.
    const QString &Warnings() const { return warnings; }
    // What the last import printed on standard output: the new archive's figures.
    const QString &Output() const { return output; }

    // Runs before the box that tells of a failed import, so that the box speaks of a game folder
    // that is already as it says.
    void SetBeforeFailureShown(std::function<void()> hook) { beforeFailureShown = std::move(hook); }

private:
    QString warnings;
    QString output;
    std::function<void()> beforeFailureShown;
};
