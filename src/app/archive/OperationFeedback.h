#pragma once
#include <QString>

#include "audio/AudioConverter.h"

// How an operation on the opened archive asks and reports on its way without knowing the window:
// the window implements it with its boxes and the conversion progress box, a test with answers of
// its own.
class OperationFeedback
{
public:
    virtual ~OperationFeedback() = default;

    // Converts `source` into `target` in `form`, with a way for the user to stop it; an aborted
    // conversion leaves `target` as it was.
    virtual AudioConverter::Result Convert(const QString &source, const QString &target, const AudioForm &form) = 0;

    // Tells the user something that happened on the way, under `title`, and waits until read.
    virtual void Inform(const QString &title, const QString &text) = 0;
    // Tells the user why the operation failed ("Error"), and waits until read.
    virtual void Fail(const QString &text) = 0;
    // Warns the user of something that happened on the way, under `title`, and waits until read.
    virtual void Warn(const QString &title, const QString &text) { Inform(title, text); }

    // Asks a question whose safe answer is No (the default); true for Yes.
    virtual bool Ask(const QString &title, const QString &question)
    {
        Q_UNUSED(title);
        Q_UNUSED(question);
        return false;
    }
    // Asks with a warning before something that cannot be undone; true for Yes.
    virtual bool Confirm(const QString &title, const QString &question) { return Ask(title, question); }

    // Shows how far a run over several entries has got (`done` of `total`, now at `label`), and
    // takes the user's wish to stop, which is heeded between entries only. False once the user
    // asked to stop.
    virtual bool Step(int done, int total, const QString &label)
    {
        Q_UNUSED(done);
        Q_UNUSED(total);
        Q_UNUSED(label);
        return true;
    }
};
