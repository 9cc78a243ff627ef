#include "app/GameSave.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/KeptOriginals.h"
#include "app/LoadedArchive.h"
#include "app/UserDialogs.h"
#include "tool/KivoSfxProcessCaller.h"
#include "tool/KivoStreamProcessCaller.h"

namespace
{
// Puts the new archive in the old one's place. The old archive is only moved aside until the new
// one stands, so a failure at any step leaves the game with a working archive. Throws the
// message to show.
void ReplaceArchive(const QString &archivePath, const QString &newArchivePath)
{
    const QString removeFailed = QStringLiteral("Failed to remove old sound archive (") + archivePath + QStringLiteral(")");
    // A read-only archive is one the user protected: it stays, even where the folder would let
    // us move it.
    const QFileInfo oldArchive(archivePath);
    if (!oldArchive.isFile() || !oldArchive.isWritable())
        throw removeFailed;

    // The old archive waits under a name nothing uses yet while the new one is moved in.
    const QString backupPath = UnusedNameBeside(archivePath, QStringLiteral(".old"));
    if (!QFile::rename(archivePath, backupPath))
        throw removeFailed;

    if (!QFile::rename(newArchivePath, archivePath)) {
        QString message = QStringLiteral("Failed to move new sound archive.");
        if (!QFile::rename(backupPath, archivePath))
            message += QStringLiteral("\nThe old sound archive was kept as \"") + backupPath + QStringLiteral("\".");
        throw message;
    }
    // The new archive is in place; a backup we could not delete costs space, not data.
    QFile::remove(backupPath);
}

// The tool rewrites the lookup file beside the game's archives for the new archive before the
// window swaps the archives. Until the new archive stands in the old one's place the game needs
// the old records, or it would play the old archive by the new one's offsets. Holds the file as
// it was before the tool ran.
class LookupSnapshot
{
public:
    explicit LookupSnapshot(const QString &path) : path(path)
    {
        QFile file(path);
        // A lookup file holds at most 65535 records of 12 bytes; the tool refuses anything larger.
        if (file.open(QIODevice::ReadOnly) && file.size() <= largestLookupFile) {
            bytes = file.readAll();
            bRead = file.error() == QFileDevice::NoError;
        }
    }

    // Puts the old records back if the tool changed them. False when that failed.
    bool Restore() const
    {
        if (!bRead)
            return true;
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
            return true;
        current.close();
        QSaveFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    }

    QString NotRestoredText() const
    {
        return QStringLiteral("The old lookup file could not be put back; a copy of it is in \"") + path
             + QStringLiteral(".bak\".");
    }

private:
    static constexpr qint64 largestLookupFile = qint64(65535) * 12;
    QString path;
    QByteArray bytes;
    bool bRead = false;
};
}

bool GameSave::Run(QWidget *pParent, IniMetafileModel::ArchiveType type, const QString &metafilePath,
                   const QString &archivePath, const QString &lookupPath, QString &warnings)
{
    if (!KeptOriginals::KeepBeforeSave(pParent, type, archivePath, lookupPath))
        return false;
    const QString newArchivePath = archivePath + QStringLiteral(".new");
    // The tool keeps the previous lookup file as ".bak"; a save that fails puts both back, or the
    // backup of the save before would be lost.
    const LookupSnapshot lookup(lookupPath);
    const LookupSnapshot lookupBackup(lookupPath + QStringLiteral(".bak"));
    KivoSfxProcessCaller sfxCaller;
    KivoStreamProcessCaller streamCaller;
    const bool imported = type == IniMetafileModel::SFX
                        ? sfxCaller.ImportArchive(newArchivePath, metafilePath, lookupPath)
                        : streamCaller.ImportArchive(newArchivePath, metafilePath, lookupPath);
    if (!imported) {
        // A tool killed right after it replaced the lookup file leaves new records for the old archive.
        lookupBackup.Restore();
        if (!lookup.Restore())
            UserDialogs::Critical(pParent, QStringLiteral("Error"), lookup.NotRestoredText());
        return false;
    }

    try {
        ReplaceArchive(archivePath, newArchivePath);
        warnings = type == IniMetafileModel::SFX ? sfxCaller.Warnings() : streamCaller.Warnings();
        return true;
    } catch (QString &message) {
        lookupBackup.Restore();
        if (!lookup.Restore())
            message += QLatin1Char('\n') + lookup.NotRestoredText();
        UserDialogs::Critical(pParent, QStringLiteral("Error"), message);
        return false;
    }
}
