#pragma once
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct CatalogArchive;
class UserDescriptions;
class XmlMetaData;

// An entry the import file describes otherwise than the program knows it.
struct DescriptionDifference
{
    QString virtualPath;
    QString knownText;      // ";" between lines
    QString fileText;
};

// What a shared file of descriptions brings, set against the descriptions known so far.
struct DescriptionImport
{
    QString error;                          // null when the file was read; otherwise all else is empty
    QMap<QString, QString> rows;            // virtual path to text (";" between lines); the last row of a path counts
    QStringList newPaths;                   // described by the file only
    QStringList equalPaths;                 // the same lines as known
    QList<DescriptionDifference> differing; // other lines than known
    QStringList unknownPaths;               // naming no archive of the tree; also in one of the three above
};

// Writes every description of `known` (the merged descriptions: the user's and those of
// "MetaData.xml") to a CSV file: UTF-8, quoted where needed, the header "virtual path,description",
// one row per entry sorted by virtual path, the lines of a description joined with ";". Written
// through QSaveFile. Returns the error, null when written.
QString ExportDescriptions(const QString &filePath, const XmlMetaData &known);

// Reads such a CSV file, or a file in the form of "MetaData.xml", and sets its rows against
// `known` (the merged descriptions). A file of neither form gives an error that names the line
// where reading stopped.
DescriptionImport ReadDescriptionImport(const QString &filePath, const XmlMetaData &known,
                                        const QList<CatalogArchive> &archives);

// Takes the new rows and, with `bTakeFileTexts`, the differing ones into the user's descriptions
// and writes their file. Returns the error (UserDescriptions::Write's), null when done.
QString ApplyDescriptionImport(const DescriptionImport &import, bool bTakeFileTexts, UserDescriptions &user);
