#include "app/archive/FolderReplace.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace FolderReplace
{
namespace
{
// Nine digits at most after any zeros: a larger number is no entry, and must not wrap around into one.
const QRegularExpression bankFolder(QStringLiteral("^bank_0*(\\d{1,9})$"), QRegularExpression::CaseInsensitiveOption);
const QRegularExpression soundFile(QStringLiteral("^sound_(\\d{1,9})\\.[^.]+$"), QRegularExpression::CaseInsensitiveOption);
const QRegularExpression trackFile(QStringLiteral("^track_(\\d{1,9})\\.[^.]+$"), QRegularExpression::CaseInsensitiveOption);

int NumberIn(const QRegularExpression &pattern, const QString &name)
{
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The folders above the entry's own part: none, or a last one named like the archive.
bool InArchiveFolder(const QStringList &folders, const QStringList &archiveNames)
{
    if (folders.isEmpty())
        return true;
    return std::any_of(archiveNames.cbegin(), archiveNames.cend(), [&folders](const QString &name) {
        return !name.isEmpty() && folders.last().compare(name, Qt::CaseInsensitive) == 0;
    });
}
}

int BankNumber(const QString &name)
{
    return NumberIn(bankFolder, name);
}

EntryKey KeyOf(const QString &relativePath, bool bTracks, const QStringList &archiveNames)
{
    QStringList parts = relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    const QString fileName = parts.takeLast();
    if (bTracks) {
        const int track = NumberIn(trackFile, fileName);
        return track > 0 && InArchiveFolder(parts, archiveNames) ? EntryKey {0, track} : EntryKey {};
    }
    if (parts.isEmpty())
        return {};
    const int bank = BankNumber(parts.takeLast());
    const int sound = NumberIn(soundFile, fileName);
    return bank > 0 && sound > 0 && InArchiveFolder(parts, archiveNames) ? EntryKey {bank, sound} : EntryKey {};
}

Plan MatchFiles(const QStringList &relativePaths, bool bTracks, const QStringList &archiveNames,
                const std::function<bool(const EntryKey &)> &exists)
{
    Plan plan;
    QMap<EntryKey, QStringList> byEntry;
    for (const QString &path : relativePaths) {
        const EntryKey key = KeyOf(path, bTracks, archiveNames);
        if (!key.IsValid())
            plan.unmatched.append({path, QStringLiteral("names no entry")});
        else if (!exists(key))
            plan.unmatched.append({path, QStringLiteral("this archive has no such entry")});
        else
            byEntry[key].append(path);
    }
    // Which of two files for one entry the user meant is anyone's guess, so neither goes in.
    for (auto it = byEntry.cbegin(); it != byEntry.cend(); ++it) {
        if (it.value().size() == 1) {
            plan.matches.append({it.value().first(), it.key()});
            continue;
        }
        for (const QString &path : it.value())
            plan.unmatched.append({path, QStringLiteral("another file names the same entry")});
    }
    return plan;
}
}

bool FolderReplace::ListFiles(const QString &folder, QStringList &relativePaths, QStringList &paths)
{
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        relativePaths << root.relativeFilePath(it.next());
        if (relativePaths.size() > mostFilesInFolder)
            return false;
    }
    relativePaths.sort(Qt::CaseInsensitive);
    for (const QString &file : std::as_const(relativePaths))
        paths << root.filePath(file);
    return true;
}

QString FolderReplace::DroppedName(const QString &path, bool bTracks)
{
    const QFileInfo info(path);
    return bTracks ? info.fileName() : QFileInfo(info.path()).fileName() + QLatin1Char('/') + info.fileName();
}

bool FolderReplace::SameFile(const QString &first, const QString &second)
{
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath();
}
