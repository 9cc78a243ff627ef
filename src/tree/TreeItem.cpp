#include "tree/TreeItem.h"

#include <vector>

TreeItem::TreeItem(const QList<QVariant> &data, TreeItem *pParent)
    : itemData(data), parentItem(pParent)
{
}

TreeItem::~TreeItem()
{
    // A hostile configuration can nest thousands of levels deep. Deleting child by child
    // from an explicit stack, each one emptied of its children first, keeps the call stack flat.
    std::vector<TreeItem *> pending(childItems.cbegin(), childItems.cend());
    childItems.clear();
    while (!pending.empty()) {
        TreeItem *item = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), item->childItems.cbegin(), item->childItems.cend());
        item->childItems.clear();
        delete item;
    }
}

void TreeItem::AppendChild(TreeItem *pChild)
{
    pChild->appendedAt = int(childItems.size());
    childItems.append(pChild);
}

TreeItem *TreeItem::Child(int row) const
{
    return childItems.value(row);
}

int TreeItem::ChildCount() const
{
    return int(childItems.size());
}

int TreeItem::ColumnCount() const
{
    return int(itemData.size());
}

QVariant TreeItem::Data(int column) const
{
    return itemData.value(column);
}

int TreeItem::Row() const
{
    if (!parentItem)
        return 0;
    // Views ask for the row of every parent they draw; searching a list of thousands of
    // siblings each time would make a flat tree quadratic.
    const auto &siblings = parentItem->childItems;
    if (appendedAt >= 0 && appendedAt < siblings.size() && siblings.at(appendedAt) == this)
        return appendedAt;
    return int(siblings.indexOf(const_cast<TreeItem *>(this)));
}

TreeItem *TreeItem::Parent() const
{
    return parentItem;
}

QString TreeItem::Column(int column) const
{
    return column < itemData.size() ? itemData.at(column).toString() : QString();
}

QString TreeItem::GetName() const
{
    return Column(0);
}

QString TreeItem::GetArchivePath() const
{
    return Column(1);
}

QString TreeItem::GetBankFilePath() const
{
    return Column(3);
}

bool TreeItem::IsSfx() const
{
    return itemData.size() >= 3 && itemData.at(2).toString().toLower() == QLatin1String("sfx");
}

bool TreeItem::IsStream() const
{
    return itemData.size() >= 3 && itemData.at(2).toString().toLower() == QLatin1String("stream");
}
