#pragma once
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

// Reads "MetaData.xml". A file that cannot be opened (or is no plain file, or exceeds 128 MiB)
// or cannot be parsed is reported in a box of its own (no parent) and gives empty maps.
XmlMetaData ReadMetaData(const QString &path);
