#include "game/PathCase.h"

#include <QFile>

#include "format/FormatError.h"
#include "format/PathCase.h"

std::filesystem::path ToolkitPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString FromToolkitPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString ResolvePathCase(const QString &path)
{
    try {
        return FromToolkitPath(kivo::ResolvePathCase(ToolkitPath(path)));
    } catch (const kivo::FormatError &error) {
        throw QString::fromLocal8Bit(error.what());
    }
}
