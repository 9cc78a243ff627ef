#pragma once
#include <QAbstractItemModel>
#include <QMap>
#include <QSet>
#include <QString>

class TreeItem;

// The archive tree read from the text of "configuration.ini"; owns its items and, when metadata
// is used, the map of stream names to station names.
class TreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    TreeModel(const QString &data, bool useMetadata);
    ~TreeModel() override;

    // Any column of an existing row gives a valid index; views only ever ask for column 0.
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // The column's text for DisplayRole (cut short past 1024 characters; the item keeps it
    // whole), red for ForegroundRole on the highlighted row; an archive marked as not saved is
    // italic with a tooltip. Nothing for other roles.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Marks the loaded archive, drawn in red; the previous mark loses its colour. Views are told
    // of both rows, each as a range that lies inside the model.
    void SetHighlightedIndex(const QModelIndex &index);
    QModelIndex GetHighlightedIndex() const;
    // Marks an archive whose unpacked folder holds entries not saved into the game yet.
    void SetNotSaved(const QModelIndex &index, bool bNotSaved);
    bool IsNotSaved(const QModelIndex &index) const;
    const QMap<QString, QString> &GetStreamNames() const;
    // Every archive of the tree (a leaf), in the order the tree shows them.
    QModelIndexList ArchiveIndexes(const QModelIndex &parent = QModelIndex()) const;

    // Stream name to station name pairs of a "metadata-full.ini"; empty when it cannot be opened.
    static QMap<QString, QString> ReadStationNames(const QString &path);

private:
    // Reads "metadata-full.ini" beside the program into streamNames; silent when it is missing.
    void LoadStationNames();
    void SetupModelData(const QString &data, bool useMetadata);
    void EmitRowChanged(const QModelIndex &index);

    TreeItem *rootItem = nullptr;
    QModelIndex highlightedIndex;
    QString highlightColor;
    QSet<const TreeItem *> notSaved;
    QMap<QString, QString> streamNames;
};
