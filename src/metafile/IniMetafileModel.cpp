#include "metafile/IniMetafileModel.h"

#include "metafile/IniMetafileItem.h"

// STUB: replaced by the metafile work.
IniMetafileModel::IniMetafileModel(ArchiveType t, const QString &, const QMap<QString, QString> &) : type(t), rootItem(new IniMetafileItem) {}
IniMetafileModel::~IniMetafileModel() { delete rootItem; }
IniMetafileModel::ArchiveType IniMetafileModel::GetType() const { return type; }
const QString &IniMetafileModel::GetName() const { return name; }
const QString &IniMetafileModel::GetBasename() const { return basename; }
qint32 IniMetafileModel::GetLookupIndex() const { return lookupIndex; }
QModelIndex IniMetafileModel::index(int, int, const QModelIndex &) const { return {}; }
QModelIndex IniMetafileModel::parent(const QModelIndex &) const { return {}; }
int IniMetafileModel::rowCount(const QModelIndex &) const { return 0; }
int IniMetafileModel::columnCount(const QModelIndex &) const { return 1; }
QVariant IniMetafileModel::data(const QModelIndex &, int) const { return {}; }
QVariant IniMetafileModel::headerData(int, Qt::Orientation, int) const { return {}; }
Qt::ItemFlags IniMetafileModel::flags(const QModelIndex &) const { return Qt::ItemIsEnabled; }
void IniMetafileModel::ReadSfxMetafile(const QString &) {}
void IniMetafileModel::ReadStreamMetafile(const QString &, const QMap<QString, QString> &) {}
