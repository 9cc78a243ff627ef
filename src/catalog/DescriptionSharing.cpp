#include "catalog/DescriptionSharing.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include "catalog/ArchivePrefixIndex.h"
#include "catalog/CatalogArchive.h"
#include "catalog/DescriptionText.h"
#include "catalog/UserDescriptions.h"
#include "tree/XmlMetaData.h"

namespace
{
const QString csvHeader = QStringLiteral("virtual path,description");

QString CsvField(const QString &text)
{
    const bool bQuoted = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
                      || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!bQuoted)
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Where and why reading a file stopped.
struct ReadStop
{
    qint64 line = 0;
    QString reason;
};

// Reads the records of a CSV text; a record's line is where it starts.
class CsvReader
{
public:
    explicit CsvReader(const QString &text) : text(text) {}

    // False at the end of the text; `stop` set when the text broke off there.
    bool NextRecord(QStringList &fields, qint64 &recordLine, ReadStop &stop)
    {
        fields.clear();
        if (position >= text.size())
            return false;
        recordLine = line;
        for (;;) {
            QString field;
            if (!ReadField(field, stop))
                return false;
            fields << field;
            if (position >= text.size())
                return true;
            const QChar separator = text.at(position++);
            if (separator == QLatin1Char(','))
                continue;
            if (separator == QLatin1Char('\r') && position < text.size() && text.at(position) == QLatin1Char('\n'))
                ++position;
            ++line;
            return true;
        }
    }

private:
    bool ReadField(QString &field, ReadStop &stop)
    {
        if (position < text.size() && text.at(position) == QLatin1Char('"'))
            return ReadQuoted(field, stop);
        const qsizetype start = position;
        while (position < text.size() && !IsFieldEnd(text.at(position))) {
            if (text.at(position) == QLatin1Char('"')) {
                stop = {line, QStringLiteral("a quote inside a field that does not start with one")};
                return false;
            }
            ++position;
        }
        field = text.mid(start, position - start);
        return true;
    }

    bool ReadQuoted(QString &field, ReadStop &stop)
    {
        const qint64 openedOn = line;
        for (++position; position < text.size(); ++position) {
            const QChar character = text.at(position);
            if (character == QLatin1Char('\n'))
                ++line;
            if (character != QLatin1Char('"')) {
                field += character;
                continue;
            }
            if (position + 1 < text.size() && text.at(position + 1) == QLatin1Char('"')) {
                field += character;
                ++position;
                continue;
            }
            ++position;
            if (position < text.size() && !IsFieldEnd(text.at(position))) {
                stop = {line, QStringLiteral("text after the closing quote of a field")};
                return false;
            }
            return true;
        }
        // The line break that ends the text opens no line of its own.
        const qint64 lastLine = text.endsWith(QLatin1Char('\n')) ? line - 1 : line;
        stop = {lastLine, QStringLiteral("the quoted field opened on line %1 is never closed").arg(openedOn)};
        return false;
    }

    static bool IsFieldEnd(QChar character)
    {
        return character == QLatin1Char(',') || character == QLatin1Char('\n') || character == QLatin1Char('\r');
    }

    const QString &text;
    qsizetype position = 0;
    qint64 line = 1;
};

// The text of a UTF-8 file; false with the first line that is not UTF-8.
bool DecodeUtf8(const QByteArray &bytes, QString &text, ReadStop &stop)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    text = decoder.decode(bytes);
    if (!decoder.hasError())
        return true;
    // A byte of a multi-byte character is never a line feed, so lines decode on their own.
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QStringDecoder lineDecoder(QStringDecoder::Utf8);
        // The line feed ends a character the line's last bytes left open.
        const QString decoded = lineDecoder.decode(lines.at(index) + '\n');
        if (lineDecoder.hasError()) {
            stop = {index + 1, QStringLiteral("the text is not UTF-8")};
            return false;
        }
    }
    stop = {lines.size(), QStringLiteral("the text is not UTF-8")};
    return false;
}

bool ReadCsvRows(const QByteArray &bytes, QMap<QString, QString> &rows, ReadStop &stop)
{
    // The decoder drops a byte order mark at the start.
    QString text;
    if (!DecodeUtf8(bytes, text, stop))
        return false;
    CsvReader reader(text);
    QStringList fields;
    qint64 recordLine = 0;
    if (!reader.NextRecord(fields, recordLine, stop) || fields.join(QLatin1Char(',')) != csvHeader) {
        if (stop.reason.isEmpty())
            stop = {1, QStringLiteral("the first line is not \"") + csvHeader + QLatin1Char('"')};
        return false;
    }
    while (reader.NextRecord(fields, recordLine, stop)) {
        if (fields.size() == 1 && fields.first().isEmpty())
            continue;
        if (fields.size() != 2) {
            stop = {recordLine, QStringLiteral("a row without exactly two fields")};
            return false;
        }
        if (fields.first().isEmpty()) {
            stop = {recordLine, QStringLiteral("a row without a virtual path")};
            return false;
        }
        const QStringList lines = DescriptionLines(fields.at(1));
        if (!lines.isEmpty())
            rows.insert(fields.first(), lines.join(QLatin1Char(';')));
    }
    return stop.reason.isEmpty();
}

// Whether the document starts, after white space, as XML does.
bool LooksLikeXml(const QByteArray &bytes)
{
    QByteArray start = bytes.left(4096);
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.trimmed().startsWith('<');
}
}

QString ExportDescriptions(const QString &filePath, const XmlMetaData &known)
{
    QByteArray csv = csvHeader.toUtf8() + "\r\n";
    for (auto path = known.idsByPath.constBegin(); path != known.idsByPath.constEnd(); ++path) {
        const QStringList lines = DescriptionLines(known.textsById.value(path.value()));
        if (!lines.isEmpty())
            csv += (CsvField(path.key()) + QLatin1Char(',') + CsvField(lines.join(QLatin1Char(';')))).toUtf8() + "\r\n";
    }
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return filePath + QStringLiteral(" could not be written: ") + file.errorString();
    return QString();
}

DescriptionImport ReadDescriptionImport(const QString &filePath, const XmlMetaData &known,
                                        const QList<CatalogArchive> &archives)
{
    DescriptionImport import;
    const MetaDataFile read = ReadMetaDataFile(filePath);
    if (read.status == MetaDataFile::Missing || read.status == MetaDataFile::Unopenable) {
        import.error = filePath + QStringLiteral(" could not be opened.");
        return import;
    }
    ReadStop stop;
    bool bRead = false;
    if (LooksLikeXml(read.document)) {
        bRead = read.status == MetaDataFile::Read;
        if (bRead) {
            for (auto path = read.data.idsByPath.constBegin(); path != read.data.idsByPath.constEnd(); ++path) {
                const QStringList lines = DescriptionLines(read.data.textsById.value(path.value()));
                if (!lines.isEmpty())
                    import.rows.insert(path.key(), lines.join(QLatin1Char(';')));
            }
        } else {
            stop = {read.errorLine, read.error.section(QLatin1Char('\n'), 0, 0)};
        }
    } else {
        bRead = ReadCsvRows(read.document, import.rows, stop);
    }
    if (!bRead) {
        import.rows.clear();
        import.error = QStringLiteral("%1 is neither a list of descriptions (CSV with the header \"%2\") nor a file "
                                      "in the form of MetaData.xml; reading stopped at line %3: %4.")
                           .arg(QFileInfo(filePath).fileName(), csvHeader, QString::number(stop.line), stop.reason);
        return import;
    }

    const ArchivePrefixIndex index(archives);
    for (auto row = import.rows.constBegin(); row != import.rows.constEnd(); ++row) {
        const QString knownText = known.GetText(row.key());
        const QStringList knownLines = DescriptionLines(knownText);
        if (knownLines.isEmpty())
            import.newPaths << row.key();
        else if (knownLines == DescriptionLines(row.value()))
            import.equalPaths << row.key();
        else
            import.differing << DescriptionDifference{row.key(), knownText, row.value()};
        if (index.ArchiveOf(row.key()) < 0)
            import.unknownPaths << row.key();
    }
    return import;
}

QString ApplyDescriptionImport(const DescriptionImport &import, bool bTakeFileTexts, UserDescriptions &user)
{
    QMap<QString, QString> changes;
    for (const QString &path : import.newPaths)
        changes.insert(path, import.rows.value(path));
    if (bTakeFileTexts) {
        for (const DescriptionDifference &difference : import.differing)
            changes.insert(difference.virtualPath, difference.fileText);
    }
    return user.Write(changes);
}
