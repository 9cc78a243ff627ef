#pragma once
#include <QString>

#include <memory>

#include "app/archive/EntryStates.h"

class GameArchive;
class QTemporaryDir;

// One entry of an archive that is not open, copied out on its own to be listened to. Owns the
// temporary folder the copy lies in (under the system's temporary folder, never the working
// directory or the game folder); the folder goes with the next copy, Forget() or this object.
class EntryPreview
{
public:
    explicit EntryPreview(EntryStates::ToolRunner runner = EntryStates::RunToolkit);
    ~EntryPreview();  // QTemporaryDir is incomplete here

    // Copies `entryName` ("Bank_001/sound_002.wav") out of `archive` and returns the copy's path,
    // after removing the previous copy. Throws a QString saying why it failed; no copy is kept then.
    QString Extract(const GameArchive &archive, const QString &entryName);
    // The copy's path; null when there is none.
    const QString &FilePath() const { return filePath; }
    void Forget();

private:
    EntryStates::ToolRunner runner;
    std::unique_ptr<QTemporaryDir> folder;
    QString filePath;
};
