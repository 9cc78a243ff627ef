#pragma once
#include <QString>
#include <QStringList>

// Looks for the game's folder where Steam, Proton, Wine, Lutris and Bottles put it under one
// home folder. Reads folders and Steam's library lists only; looks nowhere but these places.
class GameFolderFinder
{
public:
    explicit GameFolderFinder(const QString &homePath);

    // The first game folder found, in this order: each Steam library (native Steam, then
    // Flatpak Steam) with its steamapps/common/*, the Proton prefixes of those libraries,
    // ~/.wine, the Lutris prefixes (~/Games/*) and the Bottles bottles. Inside a prefix only
    // drive_c/Program Files*/Rockstar Games/* and drive_c/Games/* are looked at. Empty when
    // none holds the game's files.
    QString FindFirst() const;

    // A folder holding audio/CONFIG/BankLkup.dat and audio/SFX, in any case of their names.
    static bool IsGameFolder(const QString &path);

private:
    // Each library once, in order: the Steam folder itself, then the folders its
    // libraryfolders.vdf lists. A missing or damaged list adds nothing.
    QStringList SteamLibraries() const;
    QStringList PrefixesOf(const QStringList &libraries) const;
    static QStringList GameFoldersInPrefix(const QString &prefix);

    QString home;
};
