#pragma once
#include <QStringList>

#include "app/archive/OperationFeedback.h"

// Answers as a user who lets every step go on until stopAt, and keeps what it was told. The
// test's files have their entries' form, so nothing is converted.
struct RecordingFeedback : OperationFeedback
{
    AudioConverter::Result Convert(const QString &, const QString &, const AudioForm &) override { return {}; }
    void Inform(const QString &title, const QString &text) override { told << title + ": " + text; }
    void Fail(const QString &text) override { told << "Error: " + text; }
    bool Step(int done, int, const QString &) override { return stopAt < 0 || done < stopAt; }
    int stopAt = -1;
    QStringList told;
};
