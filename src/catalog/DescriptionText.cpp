#include "catalog/DescriptionText.h"

QStringList DescriptionLines(const QString &text)
{
    return text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}
