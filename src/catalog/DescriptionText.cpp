#include "catalog/DescriptionText.h"

#include <QRegularExpression>

QStringList DescriptionLines(const QString &text)
{
    return text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

QString EditorTextOfDescription(const QString &text)
{
    return DescriptionLines(text).join(QLatin1Char('\n'));
}

QString DescriptionOfEditorText(const QString &editorText)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n|;"));
    QStringList lines;
    for (const QString &line : editorText.split(lineBreak)) {
        if (!line.trimmed().isEmpty())
            lines << line;
    }
    return lines.join(QLatin1Char(';'));
}
