#pragma once

namespace kivo
{
// Lets the tests stop a tool at a named point of a write and kill it there, to prove that an
// interrupted run leaves the files it was replacing usable. Returns at once unless the
// environment variable KIVO_TEST_PAUSE names this point; then it reports "paused at <point>" on
// standard error, and into the file that KIVO_TEST_PAUSE_MARK names if it is set, and waits to be
// killed (giving up after two minutes).
void PauseForTest(const char *point);
}
