#pragma once
#include <QObject>

#include <functional>

#include "catalog/CatalogArchive.h"
#include "catalog/UserDescriptions.h"
#include "tree/XmlMetaData.h"

class QModelIndex;
class QTreeView;
class QWidget;

// The user's own descriptions: "Describe...", "Import descriptions..." and "Export descriptions...".
// Owns the user's file and a copy of the program's descriptions, and keeps the window's merged
// descriptions (`metaData`, the user's over the program's) up to date with both.
class DescriptionCommands : public QObject
{
    Q_OBJECT
public:
    // Reads "user-metadata.xml" from the current directory and merges it into `metaData`, which
    // then holds the program's descriptions only. `virtualPathOf` gives an entry's key as the
    // metadata list builds it; `archives` the archives of the tree. `metaData` and the view belong
    // to `pWindow`.
    DescriptionCommands(XmlMetaData &metaData, QTreeView *pEntryView,
                        std::function<QString(const QModelIndex &)> virtualPathOf,
                        std::function<QList<CatalogArchive>()> archives, QWidget *pWindow);

public slots:
    void Describe();
    void Import();
    void Export();

signals:
    // `metaData` changed: what shows descriptions should show them again.
    void DescriptionsChanged();
    void StatusMessage(const QString &message);

private:
    // False, after an "Error" box, while the user's file could not be read: it must not be overwritten.
    bool MayWrite();
    void Merge();

    XmlMetaData &metaData;
    XmlMetaData fromProgram;
    UserDescriptions user;
    QTreeView *entryView = nullptr;
    std::function<QString(const QModelIndex &)> virtualPathOf;
    std::function<QList<CatalogArchive>()> archives;
    QWidget *window = nullptr;
    QString lastFolder;
};
