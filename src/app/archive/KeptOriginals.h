#pragma once
#include <QString>
#include <QStringList>

#include "metafile/IniMetafileModel.h"

class OperationFeedback;

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

    IniMetafileModel::ArchiveType Type() const { return type; }
    // The archive and lookup file in the game folder, absolute.
    const QString &GamePath() const { return archivePath; }
    const QString &GameLookupFilePath() const { return lookupPath; }

    // Where the archive's and the lookup file's originals are kept.
    QString ArchivePath() const { return KeptPath(archivePath); }
    QString LookupFilePath() const { return KeptPath(lookupPath); }

    // Where a file of the game folder beside the archive or the lookup file is kept.
    QString KeptPath(const QString &gamePath) const;

    // Both an original archive and an original lookup file are there to restore from.
    bool CanRestore() const;

    // Keeps a copy of every file beside the lookup file that has none yet, each synced with its
    // folder before it takes its name. The archive is not kept here, since the game folder may go
    // on writing it in place after a save that fails: see KeepArchiveBeforeSwap(). A kept file that
    // shares its bytes with the game's file is made a copy of its own. Throws a QString naming the
    // file that could not be kept.
    void Keep() const;

    // Keeps the archive, when none is kept yet, at the moment a save is about to put a new file in
    // its place: as a second name (no space, no time), or a copy where the file system has none.
    // True when it kept one now. Throws a QString like Keep().
    bool KeepArchiveBeforeSwap() const;
    // Undoes KeepArchiveBeforeSwap() when the swap did not happen after all.
    void ForgetArchiveKeptAtSwap() const;

    // Keep() before a save; false after an "Error" box saying that nothing was changed.
    bool KeepBeforeSave(OperationFeedback &feedback) const;

    // After this archive was restored: puts the game's BankSlot.dat back as it is kept, grown by the
    // save's rule only for what the SFX archives at `sfxArchivePaths` (sharing this lookup file;
    // this one may be among them) hold now beyond their kept originals. The previous file is kept as
    // "BankSlot.dat.bak"; nothing is written when no BankSlot.dat is kept or nothing would change.
    // Runs under the save lock. Throws a QString saying what failed.
    void RestoreBankSlots(const QStringList &sfxArchivePaths) const;

private:
    QStringList FilesToKeep() const;

    IniMetafileModel::ArchiveType type;
    QString archivePath;
    QString lookupPath;
    QString root;           // the nearest folder holding both the archive and the lookup file
};
