#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>

// The descriptive texts of "MetaData.xml": texts by id, and ids by virtual path.
class XmlMetaData
{
public:
    // The text for a virtual path; empty when the path or its id has no entry.
    QString GetText(const QString &virtualPath) const;

    QMap<QString, QString> textsById;
    QMap<QString, QString> idsByPath;
};

// What reading a description file ("MetaData.xml" or one in its form) found, without telling anyone.
struct MetaDataFile
{
    enum Status { Read, Missing, Unopenable, Malformed };
    Status status = Missing;
    XmlMetaData data;           // empty unless Read
    QByteArray document;        // the bytes read, also when malformed
    QString error;              // Malformed: the parser's message, then "\nLine: <n>, Column: <m>"
    qint64 errorLine = 0;       // Malformed: the line where the parser stopped
};

// Reads the texts of a document in the form of "MetaData.xml". On a fault `result` stays empty,
// `error` gets the parser's message with its line and column, and `pErrorLine` (if given) the line.
bool ParseMetaData(const QByteArray &document, XmlMetaData &result, QString &error, qint64 *pErrorLine = nullptr);

// Reads a description file. Missing: nothing lies at `path`; Unopenable: it is no plain file,
// cannot be opened or exceeds 128 MiB.
MetaDataFile ReadMetaDataFile(const QString &path);

// Reads "MetaData.xml". A file that cannot be opened (or is no plain file, or exceeds 128 MiB)
// or cannot be parsed is reported in a box of its own (no parent) and gives empty maps.
XmlMetaData ReadMetaData(const QString &path);
