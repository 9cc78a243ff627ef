#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "app/archive/GameArchive.h"

class OperationFeedback;

// Whether the game's audio will load: each archive of the game folder checked with its lookup
// file by the toolkit's own check, its state against its kept original, and the repairs that are
// safe for it. The check only reads; each repair writes under the save's lock.
class GameAudioCheck
{
public:
    enum class State { Ok, Changed, Problem };
    enum class Repair { GrowSlots, PutInPlace, RestoreOriginal };
    struct Row
    {
        GameArchive archive;
        State state = State::Ok;
        QStringList findings;   // one line each, in plain words; a file that could not be read among them
        QDateTime changed;      // when a Changed archive was last written
        QList<Repair> repairs;  // the safe ones, in the order they are offered
    };

    // Checks `archives` one after another, each a step of `feedback`. None when the user aborted.
    // An archive unpacked into `workingDirectory` is told Changed by the listings cached there.
    static std::optional<QList<Row>> Run(OperationFeedback &feedback, const QList<GameArchive> &archives,
                                         const QString &workingDirectory);
    static Row Check(const GameArchive &archive, const QString &workingDirectory);

    // Each repair is false after it told why through `feedback`. GrowSlots grows BankSlot.dat by
    // the save's rule for what the SFX archives of `all` hold beyond their kept originals.
    static bool GrowSlots(OperationFeedback &feedback, const GameArchive &archive, const QList<GameArchive> &all);
    // Moves "<archive>.new", which the lookup file describes, into the archive's place, journaled
    // as a save's swap.
    static bool PutInPlace(OperationFeedback &feedback, const GameArchive &archive);
    static bool RestoreOriginal(OperationFeedback &feedback, const GameArchive &archive, const QList<GameArchive> &all,
                                QString &warnings);
};
