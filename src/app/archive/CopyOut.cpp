#include "app/archive/CopyOut.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "app/CombinePath.h"
#include "app/archive/LoadedArchive.h"
#include "app/archive/OperationFeedback.h"

CopyOut::CopyResult CopyOut::CopyOver(const QString &source, const QString &target, QString &backup)
{
    backup.clear();
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir() && !targetInfo.isSymLink())
        return CopyResult::OldNotMoved;
    if (targetInfo.exists() || targetInfo.isSymLink()) {
        backup = UnusedNameBeside(target, QStringLiteral(".old"));
        if (!QFile::rename(target, backup)) {
            backup.clear();
            return CopyResult::OldNotMoved;
        }
    }
    if (!QFile::copy(source, target)) {
        if (!backup.isEmpty())
            QFile::rename(backup, target);
        return CopyResult::CopyFailed;
    }
    if (!backup.isEmpty() && !QFile::remove(backup))
        return CopyResult::OldNotRemoved;
    return CopyResult::Copied;
}

QList<CopyOut::Outcome> CopyOut::Copy(const QList<Entry> &entries, const QString &folder)
{
    // Sounds of several banks share file names: then each goes to its bank's folder, or the last
    // of them would silently take the place of the others.
    QSet<QString> fileNames;
    bool bSharedName = false;
    for (const Entry &entry : entries) {
        const QString fileName = FileNameOf(entry.name);
        bSharedName = bSharedName || (!entry.bBank && fileNames.contains(fileName));
        fileNames.insert(fileName);
    }

    QList<Outcome> outcomes;
    for (const Entry &entry : entries) {
        if (entry.file.isNull()) {
            outcomes << Outcome::OutsideArchive;
            continue;
        }
        const QString fileName = FileNameOf(entry.name);
        const bool noFileName = fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..");
        if (noFileName || QFileInfo(entry.file).isDir()) {
            outcomes << Outcome::NotAFile;
            continue;
        }
        const QString target = CombinePath(folder, bSharedName ? entry.name : fileName);
        if (bSharedName && !QDir().mkpath(QFileInfo(target).absolutePath())) {
            outcomes << Outcome::CopyFailed;
            continue;
        }
        if (target == entry.file) {
            outcomes << Outcome::SameFile;
            continue;
        }
        QString backup;
        switch (CopyOver(entry.file, target, backup)) {
        case CopyResult::Copied:
            outcomes << Outcome::Copied;
            break;
        case CopyResult::OldNotMoved:
        case CopyResult::OldNotRemoved:
            outcomes << Outcome::OldNotReplaced;
            return outcomes;
        case CopyResult::CopyFailed:
            outcomes << Outcome::CopyFailed;
            break;
        }
    }
    return outcomes;
}

void CopyOut::Tell(const QList<Outcome> &outcomes, OperationFeedback &feedback)
{
    for (const Outcome outcome : outcomes) {
        switch (outcome) {
        case Outcome::Copied:
            break;
        case Outcome::OutsideArchive:
            feedback.Fail(QStringLiteral("The entry's file name leads outside the archive folder."));
            break;
        case Outcome::NotAFile:
            feedback.Inform(QStringLiteral("Note"), QStringLiteral("The selected item is not a file."));
            break;
        case Outcome::SameFile:
            feedback.Inform(QStringLiteral("Note"),
                            QStringLiteral("Source and destination file are the same. File won't be exported."));
            break;
        case Outcome::CopyFailed:
            feedback.Fail(QStringLiteral("Failed to export file."));
            break;
        case Outcome::OldNotReplaced:
            feedback.Fail(QStringLiteral("Failed to delete existing file."));
            break;
        }
    }
}
