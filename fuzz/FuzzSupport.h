#pragma once
#include <QString>

#include <cstddef>
#include <cstdint>

class QAbstractItemModel;

// What every fuzz target shares: a quiet application object, one scratch file for the readers
// that only take paths, and a walk that checks an item model's structure.
namespace FuzzSupport
{
// Creates the application object once and silences Qt's warnings; a fatal message still aborts,
// which the fuzzer reports as a finding.
void Start(int *pArgc, char ***pArgv);

// The scratch file of this process. Each input is written there before a reader opens it.
const QString &InputPath();

// False when the scratch file cannot be written; the input is then skipped.
bool WriteInput(const uint8_t *data, size_t size);

// Visits up to budget rows depth-first and aborts when index(), parent(), rowCount() and the
// data of a row disagree with each other. Returns the number of rows visited.
int WalkModel(const QAbstractItemModel &model, int budget);

// Aborts with a message naming the broken expectation; the fuzzer keeps the input that did it.
[[noreturn]] void Fail(const char *what);
}
