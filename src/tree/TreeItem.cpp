#include "tree/TreeItem.h"

// STUB: replaced by the archive tree work.
TreeItem::TreeItem(const QList<QVariant> &data, TreeItem *pParent) : itemData(data), parentItem(pParent) {}
TreeItem::~TreeItem() { qDeleteAll(childItems); }
void TreeItem::AppendChild(TreeItem *pChild) { childItems.append(pChild); }
TreeItem *TreeItem::Child(int row) const { return childItems.value(row); }
int TreeItem::ChildCount() const { return int(childItems.size()); }
int TreeItem::ColumnCount() const { return int(itemData.size()); }
QVariant TreeItem::Data(int column) const { return itemData.value(column); }
int TreeItem::Row() const { return 0; }
TreeItem *TreeItem::Parent() const { return parentItem; }
QString TreeItem::Column(int column) const { return itemData.value(column).toString(); }
QString TreeItem::GetName() const { return Column(0); }
QString TreeItem::GetArchivePath() const { return Column(1); }
QString TreeItem::GetBankFilePath() const { return Column(3); }
bool TreeItem::IsSfx() const { return false; }
bool TreeItem::IsStream() const { return false; }
