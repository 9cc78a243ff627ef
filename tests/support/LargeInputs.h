#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// Writes the large but well-formed files that the limit test and benchmark load: an SFX
// metafile, a "configuration.ini" and a "MetaData.xml" of a given number of entries, lines or
// elements, laid out like the real ones. Each returns false when the file cannot be written.
namespace LargeInputs
{
inline bool Write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush();
}

constexpr int soundsPerBank = 1000;

// An SFX metafile of sounds entries (three key lines each), a thousand to a bank.
inline bool WriteSfxMetafile(const QString &path, int sounds)
{
    const int banks = (sounds + soundsPerBank - 1) / soundsPerBank;
    QByteArray text;
    text.reserve(qsizetype(sounds) * 100 + 100);
    text += "[Archive]\r\nbasename=GENRL\r\nlookup_index=0\r\nnum_banks=" + QByteArray::number(banks) + "\r\n";
    for (int bank = 1; bank <= banks; ++bank) {
        const int inBank = qMin(soundsPerBank, sounds - (bank - 1) * soundsPerBank);
        const QByteArray bankName = "Bank_" + QByteArray::number(bank).rightJustified(3, '0');
        text += "\r\n[" + bankName + "]\r\nnum_sounds=" + QByteArray::number(inBank) + "\r\n";
        for (int sound = 1; sound <= inBank; ++sound) {
            const QByteArray key = "sound_" + QByteArray::number(sound).rightJustified(3, '0');
            text += key + ".filename=" + bankName + "/" + key + ".wav\r\n";
            text += key + ".sample_rate=" + QByteArray::number(16000 + 50 * (sound % 7)) + "\r\n";
            text += key + ".unknown_16=" + QByteArray::number(sound % 3) + "\r\n";
        }
    }
    return Write(path, text);
}

// A "configuration.ini" of lines lines: groups of ten archives under a group line, every fifth
// group with a nested sub-group, the shape of the game's own tree.
inline bool WriteConfiguration(const QString &path, int lines)
{
    QByteArray text;
    text.reserve(qsizetype(lines) * 70);
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
    text.reserve(qsizetype(elements) * 90 + 100);
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
