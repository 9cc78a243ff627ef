#pragma once
#include <QAbstractItemModel>
#include <QMap>
#include <QString>

class IniFile;
class IniMetafileItem;

// The entries of one unpacked archive, read from its metafile at construction: banks with their
// sounds (SFX) or a flat list of tracks (stream). Read-only; owns its item tree.
class IniMetafileModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum ArchiveType { STREAM = 0, SFX = 1 };

    // Throws a QString ("Failed to load ini-file.", "Invalid ini-fileformat.") when the metafile
    // cannot be read.
    IniMetafileModel(ArchiveType type, const QString &iniFilepath, const QMap<QString, QString> &streamNames);
    ~IniMetafileModel() override;

    ArchiveType GetType() const;
    const QString &GetName() const;         // the archive's folder name in the working directory
    const QString &GetBasename() const;     // stream: "basename" as the file gives it
    qint32 GetLookupIndex() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void ReadSfxMetafile(const QString &iniFilepath);
    void ReadStreamMetafile(const QString &iniFilepath, const QMap<QString, QString> &streamNames);
    void ReadSounds(const IniFile &ini, int section, qint32 soundCount, IniMetafileItem *pBank);

    ArchiveType type;
    QString name;
    qint32 lookupIndex = 0;
    IniMetafileItem *rootItem = nullptr;
    QString basename;
};
