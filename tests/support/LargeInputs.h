#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// Writes the large but well-formed files that the limit test and benchmark load: a
// "configuration.ini" and a "MetaData.xml" of a given number of lines or elements, laid out like
// the real ones. Each returns false when the file cannot be written.
namespace LargeInputs
{
inline bool Write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush();
}

// A "configuration.ini" of lines lines: groups of ten archives under a group line, every fifth
// group with a nested sub-group, the shape of the game's own tree.
inline bool WriteConfiguration(const QString &path, int lines)
{
    QByteArray text;
    for (int line = 0; line < lines; ++line) {
        const int group = line / 11;
        if (line % 11 == 0) {
            text += "GROUP_" + QByteArray::number(group) + "\n";
        } else if (line % 11 == 10 && group % 5 == 0) {
            text += "    NESTED_" + QByteArray::number(line) + "\taudio/SFX/N" + QByteArray::number(line)
                  + "\tSFX\taudio/CONFIG/BankLkup.dat\n";
        } else {
            text += "  ARCHIVE_" + QByteArray::number(line) + (line % 2 ? "\taudio/SFX/A" : "\taudio/streams/A") + QByteArray::number(line)
                  + (line % 2 ? "\tSFX\taudio/CONFIG/BankLkup.dat\n" : "\tSTREAM\taudio/CONFIG/TrakLkup.dat\n");
        }
    }
    return Write(path, text);
}

// A "MetaData.xml" of elements elements below its root: pairs of InfoData and MetaData.
inline bool WriteMetaData(const QString &path, int elements)
{
    QByteArray text;
    text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>\n";
    for (int element = 0; element < elements; ++element) {
        const QByteArray id = QByteArray::number(element / 2);
        if (element % 2 == 0)
            text += "  <InfoData Id=\"" + id + "\" Text=\"Sound " + id + "; gravel &amp; grass\"/>\n";
        else
            text += "  <MetaData VirtualPath=\"Archiv\\SFX\\GENRL\\Bank_001\\sound_" + id
                  + ".wav\" InfoDataItemId=\"" + id + "\"/>\n";
    }
    text += "</Root>\n";
    return Write(path, text);
}
}
