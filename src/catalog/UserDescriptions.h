#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>

#include "tree/XmlMetaData.h"

// The descriptions the user wrote, kept in "user-metadata.xml" in the form of "MetaData.xml" and
// keyed by virtual path. Owns the bytes it last read or wrote, so that a rewrite keeps every
// element of the file, also those it does not understand.
class UserDescriptions
{
public:
    explicit UserDescriptions(const QString &filePath);

    const QString &FilePath() const { return filePath; }

    // Reads the file (again). A missing file is no error and gives no descriptions. A file that
    // cannot be opened or parsed gives no descriptions and an error naming the file (and the
    // parser's message with line and column), returned here and kept in ReadError(): from then
    // on every write is refused with it, so the file is never overwritten. Null when read.
    QString Read();
    const QString &ReadError() const { return readError; }

    // Virtual path to text (";" between lines) of every description the file holds.
    const QMap<QString, QString> &Texts() const { return texts; }

    // Sets the description of each path, or removes it where the text has no line, and writes the
    // file anew through QSaveFile. Returns the error, null when done or when nothing changes;
    // after an error the file and Texts() are as they were.
    QString Write(const QMap<QString, QString> &changes);
    QString SetDescription(const QString &virtualPath, const QString &text);

private:
    void TakeDocument(const QByteArray &bytes, const XmlMetaData &parsed);

    QString filePath;
    QByteArray document;    // empty while there is no file
    XmlMetaData parsed;     // of `document`: which ids a rewrite may drop and which are free
    QMap<QString, QString> texts;
    QString readError;
};

// The descriptions the window shows: those of "MetaData.xml" with the user's over them, so the
// user's text wins for an entry that both describe and the other shows again once it is removed.
XmlMetaData MergedDescriptions(const XmlMetaData &fromProgram, const QMap<QString, QString> &userTexts);
