#pragma once
#include <QString>
#include <QStringList>

// A description is kept as one text whose ";" start new lines; empty lines do not count.
QStringList DescriptionLines(const QString &text);

// The text a multi-line editor holds for a description (one line per line) and back. Blank lines
// are dropped, so an editor left empty gives an empty description.
QString EditorTextOfDescription(const QString &text);
QString DescriptionOfEditorText(const QString &editorText);
