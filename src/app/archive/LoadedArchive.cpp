#include "app/archive/LoadedArchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "app/CombinePath.h"
#include "metafile/IniFile.h"
#include "tree/TreeItem.h"

namespace
{
// Both separators count: a name written for another system must not slip out that way either.
QString ForwardSlashes(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

bool IsAbsoluteName(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return true;
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter();
}

// Whether `name`, joined under `base`, still names `base` itself or something inside it.
bool StaysInside(const QString &base, const QString &name)
{
    if (IsAbsoluteName(name))
        return false;
    const QString cleanBase = QDir::cleanPath(ForwardSlashes(base));
    const QString joined = QDir::cleanPath(ForwardSlashes(base) + QLatin1Char('/') + ForwardSlashes(name));
    if (joined == cleanBase)
        return true;
    const QString prefix = cleanBase.endsWith(QLatin1Char('/')) ? cleanBase : cleanBase + QLatin1Char('/');
    return joined.startsWith(prefix);
}

QString OriginalsFolderOf(const QString &archiveFolder)
{
    return CombinePath(archiveFolder, QStringLiteral(".originals"));
}
}

QStringList ChangedEntries(const QString &archiveFolder)
{
    // The folder decides, not a list of our own: marks then hold across loads and restarts.
    const QDir originals(OriginalsFolderOf(archiveFolder));
    QStringList names;
    QDirIterator files(originals.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        names << originals.relativeFilePath(files.next());
    return names;
}

QString MetafileName(IniMetafileModel::ArchiveType type)
{
    return type == IniMetafileModel::SFX ? QStringLiteral("sfx_import.ini") : QStringLiteral("stream_import.ini");
}

QString ReadMetafileBasename(IniMetafileModel::ArchiveType type, const QString &metafilePath)
{
    IniFile ini;
    if (!QFileInfo(metafilePath).isFile() || !ini.Load(metafilePath))
        return QString();
    const QString section = type == IniMetafileModel::SFX ? QStringLiteral("Archive") : QStringLiteral("Stream");
    if (!ini.HasSection(section))
        return QString();
    return ini.GetValue(section, QStringLiteral("basename"));
}

LoadedArchive::LoadedArchive(IniMetafileModel::ArchiveType type, const QString &metafilePath,
                             const QModelIndex &treeRow, const QString &gameFolder)
    : type(type)
    , folder(QFileInfo(metafilePath).absolutePath())
    , metafilePath(QFileInfo(metafilePath).absoluteFilePath())
    , treeRow(treeRow)
    , gameFolder(gameFolder)
{
    const auto *item = static_cast<const TreeItem *>(treeRow.internalPointer());
    if (!treeRow.isValid() || !item)
        return;
    relativeArchivePath = item->GetArchivePath();
    relativeLookupFilePath = item->GetBankFilePath();
    for (const TreeItem *node = item; node; node = node->Parent())
        virtualPathPrefix.prepend(node->Data(0).toString() + QLatin1Char('\\'));
    virtualPathPrefix.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString LoadedArchive::FilePath(const QString &entryName) const
{
    // Names come from a metafile inside an archive: none may lead the program to read, delete or
    // write anything outside the archive's folder.
    if (!StaysInside(folder, entryName))
        return QString();
    return CombinePath(folder, entryName);
}

QString LoadedArchive::OriginalsFolder() const
{
    return OriginalsFolderOf(folder);
}

QString LoadedArchive::OriginalFilePath(const QString &entryName) const
{
    // Checked against the originals folder itself: "../x" would reach the archive's own files.
    if (FilePath(entryName).isNull() || !StaysInside(OriginalsFolder(), entryName))
        return QString();
    return CombinePath(OriginalsFolder(), entryName);
}

QString LoadedArchive::VirtualPath(const QString &entryName) const
{
    if (virtualPathPrefix.isEmpty())
        return QString();
    return virtualPathPrefix + QString(entryName).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString LoadedArchive::ArchivePath() const
{
    return treeRow.isValid() ? CombinePath(gameFolder, relativeArchivePath) : QString();
}

QString LoadedArchive::LookupFilePath() const
{
    return treeRow.isValid() ? CombinePath(gameFolder, relativeLookupFilePath) : QString();
}

QString FileNameOf(const QString &path)
{
    const QString forward = ForwardSlashes(path);
    return forward.mid(forward.lastIndexOf(QLatin1Char('/')) + 1);
}

QString UnusedNameBeside(const QString &path, const QString &suffix)
{
    for (int number = 0;; ++number) {
        const QString candidate = path + suffix + (number > 0 ? QString::number(number) : QString());
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

bool BasenameNamesArchive(const QString &basename, const QString &archivePath)
{
    const QString fileName = FileNameOf(archivePath);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return basename.compare(fileName, Qt::CaseInsensitive) == 0
        || (dot > 0 && basename.compare(fileName.left(dot), Qt::CaseInsensitive) == 0);
}

bool LiesInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

bool FoldersOverlap(const QString &first, const QString &second)
{
    const QString a = QFileInfo(first).canonicalFilePath();
    const QString b = QFileInfo(second).canonicalFilePath();
    if (a.isEmpty() || b.isEmpty())
        return false;
    return a == b || LiesInside(a, b) || LiesInside(b, a);
}
