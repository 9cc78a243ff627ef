#include "game/GameFolderFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "game/PathCase.h"
#include "game/VdfNode.h"

namespace
{
// libraryfolders.vdf is a few kilobytes; anything near this is not Steam's.
constexpr qint64 maxVdfSize = 4 * 1024 * 1024;

const char *const steamRoots[] = {
    ".steam/steam",
    ".local/share/Steam",
    ".var/app/com.valvesoftware.Steam/.local/share/Steam",
    ".var/app/com.valvesoftware.Steam/data/Steam",
};

const char *const bottlesFolders[] = {
    ".local/share/bottles/bottles",
    ".var/app/com.usebottles.bottles/data/bottles/bottles",
};

// The subfolders of folder whose names match pattern, ignoring case (a prefix made on Windows
// may say "program files"), sorted by name so the search gives the same answer every time.
QStringList Subfolders(const QString &folder, const QString &pattern)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

// Old files list libraries as numbered keys with the path as value; current ones as numbered
// blocks with a "path" key.
QStringList LibrariesInVdf(const QString &vdfPath)
{
    QFile file(vdfPath);
    // Only a regular file, and only up to the limit whatever its size says: a pipe would hang the
    // start, a link to a device would be read until memory runs out.
    if (!QFileInfo(vdfPath).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(maxVdfSize + 1);
    if (text.size() > maxVdfSize)
        return {};
    QStringList libraries;
    try {
        const VdfNode root = VdfNode::Parse(text);
        const VdfNode *list = root.Child(QStringLiteral("libraryfolders"));
        if (!list)
            return {};
        for (const VdfNode &entry : list->Children()) {
            bool bNumbered = false;
            entry.Key().toInt(&bNumbered);
            const VdfNode *path = entry.Child(QStringLiteral("path"));
            if (path && !path->IsBlock())
                libraries << path->Value();
            else if (bNumbered && !entry.IsBlock())
                libraries << entry.Value();
        }
    } catch (const QString &) {
        return {};
    }
    return libraries;
}
}

GameFolderFinder::GameFolderFinder(const QString &homePath) : home(homePath) {}

QString GameFolderFinder::FindFirst() const
{
    const QStringList libraries = SteamLibraries();
    QStringList candidates;
    for (const QString &library : libraries)
        candidates << Subfolders(library + QStringLiteral("/steamapps/common"), QStringLiteral("*"));
    for (const QString &prefix : PrefixesOf(libraries))
        candidates << GameFoldersInPrefix(prefix);
    for (const QString &candidate : candidates)
        if (IsGameFolder(candidate))
            return candidate;
    return QString();
}

bool GameFolderFinder::IsGameFolder(const QString &path)
{
    try {
        return QFileInfo(ResolvePathCase(path + QStringLiteral("/audio/CONFIG/BankLkup.dat"))).isFile()
            && QFileInfo(ResolvePathCase(path + QStringLiteral("/audio/SFX"))).isDir();
    } catch (const QString &) {
        // Two folders differing only in case: the user must say which one is meant.
        return false;
    }
}

QStringList GameFolderFinder::SteamLibraries() const
{
    QStringList libraries;
    QStringList seen;
    const auto add = [&libraries, &seen](const QString &library) {
        // ~/.steam/steam is usually a link to ~/.local/share/Steam, and every Steam lists itself.
        const QString canonical = QFileInfo(library).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            return;
        seen << canonical;
        libraries << library;
    };
    for (const char *root : steamRoots) {
        const QString steam = QDir(home).filePath(QLatin1String(root));
        add(steam);
        for (const char *list : {"/steamapps/libraryfolders.vdf", "/config/libraryfolders.vdf"})
            for (const QString &library : LibrariesInVdf(steam + QLatin1String(list)))
                add(library);
    }
    return libraries;
}

QStringList GameFolderFinder::PrefixesOf(const QStringList &libraries) const
{
    QStringList prefixes;
    for (const QString &library : libraries)
        for (const QString &app : Subfolders(library + QStringLiteral("/steamapps/compatdata"), QStringLiteral("*")))
            prefixes << app + QStringLiteral("/pfx");
    prefixes << QDir(home).filePath(QStringLiteral(".wine"));
    prefixes << Subfolders(QDir(home).filePath(QStringLiteral("Games")), QStringLiteral("*"));
    for (const char *bottles : bottlesFolders)
        prefixes << Subfolders(QDir(home).filePath(QLatin1String(bottles)), QStringLiteral("*"));
    return prefixes;
}

QStringList GameFolderFinder::GameFoldersInPrefix(const QString &prefix)
{
    QStringList folders;
    for (const QString &driveC : Subfolders(prefix, QStringLiteral("drive_c"))) {
        for (const QString &programFiles : Subfolders(driveC, QStringLiteral("Program Files*")))
            for (const QString &rockstar : Subfolders(programFiles, QStringLiteral("Rockstar Games")))
                folders << Subfolders(rockstar, QStringLiteral("*"));
        for (const QString &games : Subfolders(driveC, QStringLiteral("Games")))
            folders << Subfolders(games, QStringLiteral("*"));
    }
    return folders;
}
