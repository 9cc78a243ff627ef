#include "game/PathCase.h"

#include <QFile>

#include "format/FormatError.h"
#include "format/PathCase.h"

QString ResolvePathCase(const QString &path)
{
    try {
        const std::filesystem::path resolved = kivo::ResolvePathCase(QFile::encodeName(path).toStdString());
        return QFile::decodeName(QByteArray::fromStdString(resolved.string()));
    } catch (const kivo::FormatError &error) {
        throw QString::fromLocal8Bit(error.what());
    }
}
