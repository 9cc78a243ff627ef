#pragma once
#include <QByteArrayView>

class XmlMetaData;

// A quick reading of "MetaData.xml" for documents written the way such files are: UTF-8 without
// a document type, elements with attributes, comments, the five predefined entities and
// character references. Qt's XML reader needs most of the program's start-up time for the fifty
// thousand entries of a full file; this reading takes a fraction of it.
//
// Gives true and fills the two maps exactly as Qt's reader would have (later entries win, empty
// keys skipped) only when the whole document is well-formed and within that subset. Anything
// else, well-formed or not, gives false and leaves the result untouched: the caller then reads
// the document with Qt's reader, which knows all of XML and words the faults the user is shown.
bool ScanMetaData(QByteArrayView document, XmlMetaData &result);
