#include "tree/XmlMetaData.h"

// STUB: replaced by the metadata work.
QString XmlMetaData::GetText(const QString &) const { return {}; }
XmlMetaData ReadMetaData(const QString &) { return {}; }
