#include "tree/XmlMetaData.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include "dialogs/UserDialogs.h"

namespace
{
// The descriptions of every sound of the game make a few megabytes; the maps hold about twice
// the file's size, so a file far beyond any real one is refused instead of exhausting memory.
constexpr qint64 largestReadableFile = qint64(128) * 1024 * 1024;
}

QString XmlMetaData::GetText(const QString &virtualPath) const
{
    const auto id = idsByPath.constFind(virtualPath);
    if (id == idsByPath.constEnd())
        return QString();
    return textsById.value(id.value());
}

// Qt's document object model needs seconds and hundreds of megabytes for the fifty thousand
// entries of a full description file, which the program would spend before its window shows.
// Streaming through the same parser finds the same faults with the same messages in a fraction
// of that; nothing but the two maps is kept.
bool ParseMetaData(const QByteArray &document, XmlMetaData &result, QString &error, qint64 *pErrorLine)
{
    QXmlStreamReader reader(document);
    // Tag and attribute names are compared as they are written, prefixes included.
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView tag = reader.qualifiedName();
        if (tag == QLatin1String("InfoData")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString id = attributes.value(QLatin1String("Id")).toString();
            if (!id.isEmpty())
                result.textsById.insert(id, attributes.value(QLatin1String("Text")).toString());
        } else if (tag == QLatin1String("MetaData")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString virtualPath = attributes.value(QLatin1String("VirtualPath")).toString();
            if (!virtualPath.isEmpty())
                result.idsByPath.insert(virtualPath, attributes.value(QLatin1String("InfoDataItemId")).toString());
        }
    }
    if (!reader.hasError())
        return true;
    // Entries read before the fault are dropped with the rest: a half-read file would make some
    // entries look as if they had no description.
    result = XmlMetaData();
    error = reader.errorString() + QStringLiteral("\nLine: ") + QString::number(reader.lineNumber())
          + QStringLiteral(", Column: ") + QString::number(reader.columnNumber());
    if (pErrorLine)
        *pErrorLine = reader.lineNumber();
    return false;
}

MetaDataFile ReadMetaDataFile(const QString &path)
{
    MetaDataFile read;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return read;
    QFile file(path);
    // Only a plain file: a pipe would block the start for good, a device would never end.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly) || file.size() > largestReadableFile) {
        read.status = MetaDataFile::Unopenable;
        return read;
    }
    read.document = file.readAll();
    read.status = ParseMetaData(read.document, read.data, read.error, &read.errorLine) ? MetaDataFile::Read
                                                                                        : MetaDataFile::Malformed;
    return read;
}

XmlMetaData ReadMetaData(const QString &path)
{
    const MetaDataFile read = ReadMetaDataFile(path);
    switch (read.status) {
    case MetaDataFile::Read:
        return read.data;
    case MetaDataFile::Malformed:
        UserDialogs::Critical(nullptr, QStringLiteral("Error in Xml-File"), read.error);
        return {};
    case MetaDataFile::Missing:
    case MetaDataFile::Unopenable:
        break;
    }
    UserDialogs::Critical(nullptr, QStringLiteral("Error"), path + QStringLiteral(" could not be opened."));
    return {};
}
