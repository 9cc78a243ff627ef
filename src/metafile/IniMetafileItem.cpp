#include "metafile/IniMetafileItem.h"

IniMetafileItem::IniMetafileItem() = default;

IniMetafileItem::~IniMetafileItem()
{
    qDeleteAll(children);
}

const QString &IniMetafileItem::GetName() const
{
    return name;
}

IniMetafileItem *IniMetafileItem::GetParent() const
{
    return parent;
}

int IniMetafileItem::ChildCount() const
{
    return int(children.size());
}

IniMetafileItem *IniMetafileItem::Child(int row) const
{
    return children.value(row);
}

void IniMetafileItem::AppendChild(IniMetafileItem *pChild)
{
    pChild->parent = this;
    children.append(pChild);
}

int IniMetafileItem::Row() const
{
    if (!parent)
        return 0;
    return int(parent->children.indexOf(this));
}
