#pragma once
#include <QFile>
#include <QTemporaryDir>

// Files with given contents in a folder of their own that goes with the object; a file that
// cannot be written ends the test run, since every later check would be about nothing.
class ScratchFiles
{
public:
    QString Write(const QByteArray &content)
    {
        const QString path = Path(QStringLiteral("file%1.ini").arg(++count));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString Path(const QString &name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    int count = 0;
};
