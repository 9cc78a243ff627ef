#include "tree/TreeModel.h"

#include "tree/TreeItem.h"

// STUB: replaced by the archive tree work.
TreeModel::TreeModel(const QString &, bool) : rootItem(new TreeItem({QStringLiteral("Archiv")})) {}
TreeModel::~TreeModel() { delete rootItem; }
QModelIndex TreeModel::index(int, int, const QModelIndex &) const { return {}; }
QModelIndex TreeModel::parent(const QModelIndex &) const { return {}; }
int TreeModel::rowCount(const QModelIndex &) const { return 0; }
int TreeModel::columnCount(const QModelIndex &) const { return 1; }
QVariant TreeModel::data(const QModelIndex &, int) const { return {}; }
QVariant TreeModel::headerData(int, Qt::Orientation, int) const { return {}; }
Qt::ItemFlags TreeModel::flags(const QModelIndex &) const { return Qt::ItemIsEnabled; }
void TreeModel::SetHighlightedIndex(const QModelIndex &index) { highlightedIndex = index; }
QModelIndex TreeModel::GetHighlightedIndex() const { return highlightedIndex; }
const QMap<QString, QString> &TreeModel::GetStreamNames() const { return streamNames; }
QMap<QString, QString> TreeModel::ReadStationNames(const QString &) { return {}; }
void TreeModel::LoadStationNames() {}
void TreeModel::SetupModelData(const QString &) {}
