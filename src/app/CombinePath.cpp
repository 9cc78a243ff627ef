#include "app/CombinePath.h"

namespace
{
bool IsSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}
}

QString CombinePath(const QString &first, const QString &second)
{
    const bool firstEnds = !first.isEmpty() && IsSeparator(first.back());
    const bool secondStarts = !second.isEmpty() && IsSeparator(second.front());
    if (firstEnds && secondStarts)
        return first.chopped(1) + second;
    if (!firstEnds && !secondStarts)
        return first + QLatin1Char('/') + second;
    return first + second;
}
