#pragma once
#include <QString>

#include <filesystem>

// A path of the program's as the toolkit's code takes it, and back: in the system's encoding of
// file names, as QFile would open it.
std::filesystem::path ToolkitPath(const QString &path);
QString FromToolkitPath(const std::filesystem::path &path);

// The tools' case resolution for the program's own paths: what a path from configuration.ini
// names in a game folder copied from Windows, whose names may differ in case. The path itself
// when it exists; otherwise each missing part is matched ignoring case, and parts after the
// first that matches nothing are kept as given. Throws a QString naming both entries when two
// entries of a folder differ only in case.
QString ResolvePathCase(const QString &path);
