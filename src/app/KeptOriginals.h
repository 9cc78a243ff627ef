#pragma once
#include <QString>
#include <QStringList>

#include "metafile/IniMetafileModel.h"

class QWidget;

// The game's files as they were before the program first saved into them: an archive, its lookup
// file and the files the toolkit reads beside it (the name table, BankSlot.dat for SFX). They lie in
// "RozivOze originals" of the folder that holds both the archive and the lookup file (audio/ of a
// game folder), under the paths they have there, so the toolkit reads them as it reads the game.
// A kept file is never replaced: it stays what the game held before its first save.
class KeptOriginals
{
public:
    // The archive and lookup file paths as they are on disk in the game folder.
    KeptOriginals(IniMetafileModel::ArchiveType type, const QString &archivePath, const QString &lookupPath);

    // Where the archive's and the lookup file's originals are kept.
    QString ArchivePath() const { return KeptPath(archivePath); }
    QString LookupFilePath() const { return KeptPath(lookupPath); }

    // Where the original of a file of the game folder is kept.
    QString KeptPath(const QString &gamePath) const;

    // Both an original archive and an original lookup file are there to restore from.
    bool CanRestore() const;

    // Keeps every file that has no kept copy yet, each synced with its folder before it takes its
    // name. Throws a QString naming the file that could not be kept.
    void Keep() const;

    // Keep() before a save; false after an "Error" box saying that nothing was changed.
    static bool KeepBeforeSave(QWidget *pParent, IniMetafileModel::ArchiveType type, const QString &archivePath,
                               const QString &lookupPath);

private:
    QStringList FilesToKeep() const;

    IniMetafileModel::ArchiveType type;
    QString archivePath;
    QString lookupPath;
    QString root;           // the nearest folder holding both the archive and the lookup file
};
