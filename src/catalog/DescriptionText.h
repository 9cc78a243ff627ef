#pragma once
#include <QString>
#include <QStringList>

// A description is kept as one text whose ";" start new lines; empty lines do not count.
QStringList DescriptionLines(const QString &text);
