#pragma once
#include <QByteArray>
#include <QXmlStreamReader>

#include "tree/XmlMetaData.h"

// What Qt's own XML reader makes of a description file by the rules the program reads it with:
// the oracle that the program's quick reading must agree with. False when the document is not
// well-formed; the maps then hold what came before the fault.
inline bool ReadWithQt(const QByteArray &document, XmlMetaData &result)
{
    QXmlStreamReader reader(document);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.qualifiedName() == QLatin1String("InfoData") && !attributes.value(QLatin1String("Id")).isEmpty())
            result.textsById.insert(attributes.value(QLatin1String("Id")).toString(),
                                    attributes.value(QLatin1String("Text")).toString());
        if (reader.qualifiedName() == QLatin1String("MetaData") && !attributes.value(QLatin1String("VirtualPath")).isEmpty())
            result.idsByPath.insert(attributes.value(QLatin1String("VirtualPath")).toString(),
                                    attributes.value(QLatin1String("InfoDataItemId")).toString());
    }
    return !reader.hasError();
}
