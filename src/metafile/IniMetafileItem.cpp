#include "metafile/IniMetafileItem.h"

// STUB: replaced by the metafile work.
IniMetafileItem::IniMetafileItem() = default;
IniMetafileItem::~IniMetafileItem() { qDeleteAll(children); }
const QString &IniMetafileItem::GetName() const { return name; }
IniMetafileItem *IniMetafileItem::GetParent() const { return parent; }
int IniMetafileItem::ChildCount() const { return int(children.size()); }
IniMetafileItem *IniMetafileItem::Child(int row) const { return children.value(row); }
void IniMetafileItem::AppendChild(IniMetafileItem *pChild) { children.append(pChild); }
int IniMetafileItem::Row() const { return 0; }
