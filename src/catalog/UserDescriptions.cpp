#include "catalog/UserDescriptions.h"

#include <QSaveFile>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

#include "catalog/DescriptionText.h"

namespace
{
const QString infoDataTag = QStringLiteral("InfoData");
const QString metaDataTag = QStringLiteral("MetaData");
const QString idAttribute = QStringLiteral("Id");
const QString textAttribute = QStringLiteral("Text");
const QString pathAttribute = QStringLiteral("VirtualPath");
const QString itemIdAttribute = QStringLiteral("InfoDataItemId");

// A character no XML document can hold, even as a reference: ids made with it in the merged
// descriptions can never meet an id read from "MetaData.xml".
const QChar userIdMark(0xFFFF);

QString UnusedId(const XmlMetaData &parsed, qint64 &next)
{
    QString id;
    do
        id = QString::number(++next);
    while (parsed.textsById.contains(id));
    return id;
}

// Rewrites `document` token by token: the elements that describe a changed path go, the changed
// paths' new elements are added at the end of the root element, everything else stays as it was.
QByteArray Rewritten(const QByteArray &document, const XmlMetaData &parsed, const QMap<QString, QString> &changes)
{
    // An InfoData goes only when no description that stays refers to it.
    QSet<QString> droppedIds;
    QSet<QString> keptIds;
    for (auto path = parsed.idsByPath.constBegin(); path != parsed.idsByPath.constEnd(); ++path)
        (changes.contains(path.key()) ? droppedIds : keptIds).insert(path.value());
    droppedIds.subtract(keptIds);

    qint64 lastId = 0;
    for (auto id = parsed.textsById.constBegin(); id != parsed.textsById.constEnd(); ++id)
        lastId = std::max(lastId, id.key().toLongLong());

    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    const auto writeNew = [&](const QString &indentation) {
        for (auto change = changes.constBegin(); change != changes.constEnd(); ++change) {
            if (change.value().isEmpty())
                continue;
            const QString id = UnusedId(parsed, lastId);
            writer.writeCharacters(indentation);
            writer.writeEmptyElement(infoDataTag);
            writer.writeAttribute(idAttribute, id);
            writer.writeAttribute(textAttribute, change.value());
            writer.writeCharacters(indentation);
            writer.writeEmptyElement(metaDataTag);
            writer.writeAttribute(pathAttribute, change.key());
            writer.writeAttribute(itemIdAttribute, id);
        }
    };

    if (document.isEmpty()) {
        writer.writeStartDocument();
        writer.writeCharacters(QStringLiteral("\n"));
        writer.writeStartElement(QStringLiteral("RozivOzeMetaData"));
        writeNew(QStringLiteral("\n  "));
        writer.writeCharacters(QStringLiteral("\n"));
        writer.writeEndElement();
        writer.writeCharacters(QStringLiteral("\n"));
        writer.writeEndDocument();
        return bytes;
    }

    QXmlStreamReader reader(document);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    // White space before an element is held back, so a dropped element takes its line with it.
    QString pendingSpace;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Characters && reader.isWhitespace() && !reader.isCDATA()) {
            // Outside the root element each part gets a line of its own below instead.
            if (depth > 0)
                pendingSpace += reader.text();
            continue;
        }
        if (token == QXmlStreamReader::StartElement && depth >= 1) {
            const QStringView tag = reader.qualifiedName();
            const QXmlStreamAttributes attributes = reader.attributes();
            const bool bDropped = (tag == metaDataTag && changes.contains(attributes.value(pathAttribute).toString()))
                               || (tag == infoDataTag && droppedIds.contains(attributes.value(idAttribute).toString()));
            if (bDropped) {
                pendingSpace.clear();
                reader.skipCurrentElement();
                continue;
            }
        }
        if (token == QXmlStreamReader::EndElement && depth == 1)
            writeNew(QStringLiteral("\n  "));
        if (!pendingSpace.isEmpty()) {
            writer.writeCharacters(pendingSpace);
            pendingSpace.clear();
        }
        bool bWritten = true;
        switch (token) {
        case QXmlStreamReader::StartElement:
            ++depth;
            // By its name as written: Qt's own copy would drop the prefix, which the reader
            // leaves unresolved.
            writer.writeStartElement(reader.qualifiedName().toString());
            writer.writeAttributes(reader.attributes());
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            writer.writeEndElement();
            break;
        case QXmlStreamReader::StartDocument:
            // A document without a declaration gets none: Qt would write one with an empty version.
            bWritten = !reader.documentVersion().isEmpty();
            if (bWritten)
                writer.writeCurrentToken(reader);
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::NoToken:
        case QXmlStreamReader::EndDocument:
            bWritten = false;
            break;
        default:
            writer.writeCurrentToken(reader);
            break;
        }
        if (depth == 0 && bWritten)
            writer.writeCharacters(QStringLiteral("\n"));
    }
    return reader.hasError() ? QByteArray() : bytes;
}
}

UserDescriptions::UserDescriptions(const QString &filePath)
    : filePath(filePath)
{
}

QString UserDescriptions::Read()
{
    const MetaDataFile read = ReadMetaDataFile(filePath);
    TakeDocument({}, {});
    readError.clear();
    switch (read.status) {
    case MetaDataFile::Read:
        TakeDocument(read.document, read.data);
        break;
    case MetaDataFile::Missing:
        break;
    case MetaDataFile::Unopenable:
        readError = filePath + QStringLiteral(" could not be opened.");
        break;
    case MetaDataFile::Malformed:
        readError = filePath + QStringLiteral(":\n") + read.error;
        break;
    }
    return readError;
}

void UserDescriptions::TakeDocument(const QByteArray &bytes, const XmlMetaData &data)
{
    document = bytes;
    parsed = data;
    texts.clear();
    for (auto path = parsed.idsByPath.constBegin(); path != parsed.idsByPath.constEnd(); ++path) {
        const QString text = parsed.textsById.value(path.value());
        if (!DescriptionLines(text).isEmpty())
            texts.insert(path.key(), text);
    }
}

QString UserDescriptions::Write(const QMap<QString, QString> &changes)
{
    if (!readError.isEmpty())
        return readError;
    QMap<QString, QString> effective;
    for (auto change = changes.constBegin(); change != changes.constEnd(); ++change) {
        const QString text = DescriptionLines(change.value()).isEmpty() ? QString() : change.value();
        // A path the file names without a text of its own is rewritten too, so its stale element goes.
        if (texts.value(change.key()) != text || (text.isEmpty() && parsed.idsByPath.contains(change.key())))
            effective.insert(change.key(), text);
    }
    if (effective.isEmpty())
        return QString();

    const QByteArray bytes = Rewritten(document, parsed, effective);
    XmlMetaData check;
    QString parseError;
    // What cannot be read back must not take the place of what could.
    if (bytes.isEmpty() || !ParseMetaData(bytes, check, parseError))
        return filePath + QStringLiteral(" could not be written: its new content could not be read back.");

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return filePath + QStringLiteral(" could not be written: ") + file.errorString();
    TakeDocument(bytes, check);
    return QString();
}

QString UserDescriptions::SetDescription(const QString &virtualPath, const QString &text)
{
    return Write({{virtualPath, text}});
}

XmlMetaData MergedDescriptions(const XmlMetaData &fromProgram, const QMap<QString, QString> &userTexts)
{
    XmlMetaData merged = fromProgram;
    for (auto user = userTexts.constBegin(); user != userTexts.constEnd(); ++user) {
        const QString id = userIdMark + user.key();
        merged.textsById.insert(id, user.value());
        merged.idsByPath.insert(user.key(), id);
    }
    return merged;
}
