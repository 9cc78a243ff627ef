#pragma once
#include <QString>

// Joins two parts of a path with exactly one separator between them: '/' or '\' as the parts
// bring them, '/' when neither does. Nothing else is normalised.
QString CombinePath(const QString &first, const QString &second);
