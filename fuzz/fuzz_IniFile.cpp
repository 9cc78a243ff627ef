// Reads any bytes as a metafile with IniFile and compares every section and key with a plain
// reading of the same lines by the documented rules: the store's hashing, interning and merging
// must give exactly what the simple maps give.
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTextStream>

#include "FuzzSupport.h"
#include "metafile/IniFile.h"

namespace
{
using Keys = QHash<QString, QString>;

struct PlainReading
{
    QHash<QString, Keys> sections;
    Keys unnamed;
};

void Merge(Keys &target, const Keys &source)
{
    for (auto it = source.cbegin(); it != source.cend(); ++it)
        target.insert(it.key(), it.value());
}

// The lines of the file decoded the obvious way: the whole file at once, as UTF-8 after an
// optional byte order mark (a text stream for the wide encodings), every '\r' dropped.
QStringList PlainLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        FuzzSupport::Fail("scratch file cannot be opened");
    const QByteArray bytes = file.readAll();
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4))) {
        file.seek(0);
        QTextStream stream(&file);
        text = stream.readAll();
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        text = decoder.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    }
    text.remove(QLatin1Char('\r'));
    return text.split(QLatin1Char('\n'));
}

// The rules of IniFile written the obvious way.
PlainReading ReadPlainly(const QString &path)
{
    PlainReading reading;
    Keys current;
    QString currentName;
    bool bHeaderSeen = false;
    for (const QString &line : PlainLines(path)) {
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            if (bHeaderSeen && !current.isEmpty()) {
                Merge(reading.sections[currentName], current);
                current.clear();
            }
            currentName = line.mid(1, line.size() - 2);
            bHeaderSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(QLatin1Char('='));
        if (separator < 0)
            continue;
        const QString key = line.left(separator).trimmed();
        if (!key.isEmpty())
            current.insert(key, line.mid(separator + 1).trimmed());
    }
    if (bHeaderSeen)
        Merge(reading.sections[currentName], current);
    else
        reading.unnamed = current;
    return reading;
}

void Compare(const IniFile &ini, const QString &section, const Keys &expected)
{
    const int handle = ini.FindSection(section);
    if (handle < 0 && !expected.isEmpty())
        FuzzSupport::Fail("a section of the file cannot be found");
    QSet<QString> visited;
    ini.ForEachKey(handle, [&](const QString &key, const IniFile::ValueView &value) {
        if (visited.contains(key))
            FuzzSupport::Fail("a key is visited twice");
        visited.insert(key);
        const auto wanted = expected.constFind(key);
        if (wanted == expected.cend())
            FuzzSupport::Fail("a key that the file does not give");
        if (value.text != wanted.value() || value.ToString() != wanted.value()
            || ini.GetValue(section, key) != wanted.value() || ini.GetText(handle, key) != wanted.value()
            || ini.GetValue(handle, ini.FindKey(key)) != wanted.value())
            FuzzSupport::Fail("a value differs from the file's");
    });
    if (visited.size() != expected.size() || ini.KeyCount(handle) != expected.size())
        FuzzSupport::Fail("a key of the file is missing");
}
}

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!FuzzSupport::WriteInput(data, size))
        return 0;
    IniFile ini;
    if (!ini.Load(FuzzSupport::InputPath()))
        FuzzSupport::Fail("an existing file is not loaded");
    const PlainReading expected = ReadPlainly(FuzzSupport::InputPath());

    const QStringList names = ini.SectionNames();
    if (names.size() != expected.sections.size())
        FuzzSupport::Fail("the number of sections differs");
    for (const QString &name : names) {
        if (!expected.sections.contains(name) || !ini.HasSection(name))
            FuzzSupport::Fail("a section that the file does not give");
        if (!name.isEmpty())
            Compare(ini, name, expected.sections.value(name));
    }
    Compare(ini, QString(), expected.unnamed);
    if (!ini.GetValue(QStringLiteral("\x01no such section"), QStringLiteral("key")).isEmpty())
        FuzzSupport::Fail("a missing section has a value");
    return 0;
}
