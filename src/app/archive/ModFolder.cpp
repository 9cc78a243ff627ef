#include "app/archive/ModFolder.h"

#include <QFileInfo>
#include <QMap>
#include <QStringList>

#include "app/CombinePath.h"
#include "app/archive/LoadedArchive.h"

namespace
{
// Where a write to `path` lands; empty for links that go round in a circle.
QString RealPath(const QString &path, int links = 0)
{
    const QFileInfo info(path);
    if (links > 40)
        return QString();
    if (info.exists())
        return info.canonicalFilePath();
    const QString parent = RealPath(info.absolutePath(), links);
    if (parent.isEmpty())
        return QString();
    // In a folder without links, a dangling link's target is where writing through it lands.
    const QFileInfo inRealFolder(CombinePath(parent, info.fileName()));
    return inRealFolder.isSymLink() ? RealPath(inRealFolder.symLinkTarget(), links + 1) : inRealFolder.filePath();
}

const QString title = QStringLiteral("== %1 ==");
const QString readmeStart = QStringLiteral("Audio changes made with RozivOze;");

bool IsTitle(const QString &line)
{
    return line.startsWith(QLatin1String("== ")) && line.endsWith(QLatin1String(" ==")) && line.size() > 6;
}

// The lines of each archive's block in a README, by archive name.
QMap<QString, QStringList> Blocks(const QString &readme)
{
    QMap<QString, QStringList> blocks;
    QString current;
    for (const QString &line : readme.split(QLatin1Char('\n'))) {
        if (IsTitle(line))
            current = line.mid(3, line.size() - 6);
        else if (!current.isEmpty() && !line.trimmed().isEmpty())
            blocks[current] << line;
    }
    return blocks;
}
}

namespace ModFolder
{
QString FirstLeavingFolder(const QString &folder, const QStringList &paths)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    for (const QString &path : paths) {
        if (root.isEmpty() || !LiesInside(RealPath(path), root))
            return path;
    }
    return QString();
}

bool IsOwnReadme(const QString &text)
{
    return text.startsWith(readmeStart);
}

QStringList ReadmeEntries(const QString &readme, const QString &archiveName)
{
    QStringList names;
    for (const QString &line : Blocks(readme).value(archiveName))
        names << line.left(line.indexOf(QLatin1String(": ")));
    return names;
}

QString MergeReadme(const QString &existing, const QString &archiveName, const QStringList &entries)
{
    QMap<QString, QStringList> blocks = Blocks(existing);
    blocks[archiveName] = entries;
    QString text = readmeStart + QStringLiteral(
        " nothing in the game folder was changed.\n\n"
        "A folder named like an SFX package holds its changed sounds as Bank_NNN/sound_NNN.wav (mono,\n"
        "16-bit PCM), the layout runtime mod loaders read. A stream archive lies here whole, packed, beside\n"
        "the TrakLkup.dat that belongs to it. BankSlot.dat, when present, makes room in the game's sound\n"
        "buffers for sounds longer than their originals.\n");
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it)
        text += QLatin1Char('\n') + title.arg(it.key()) + QLatin1Char('\n') + it.value().join(QLatin1Char('\n'))
              + QLatin1Char('\n');
    return text;
}
}
