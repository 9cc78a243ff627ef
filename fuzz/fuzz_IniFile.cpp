// Reads any bytes as a metafile with IniFile and compares every section and key with a plain
// reading of the same lines by the documented rules: the store's hashing, interning and merging
// must give exactly what the simple maps give.
#include <QFile>
#include <QHash>
#include <QSet>
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

// The rules of IniFile written the obvious way, reading whole lines.
PlainReading ReadPlainly(const QString &path)
{
    PlainReading reading;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        FuzzSupport::Fail("scratch file cannot be opened");
    QTextStream stream(&file);
    Keys current;
    QString currentName;
    bool bHeaderSeen = false;
    QString line;
    while (stream.readLineInto(&line)) {
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
    QSet<QString> visited;
    ini.ForEachKey(section, [&](const QString &key, const QString &value) {
        if (visited.contains(key))
            FuzzSupport::Fail("a key is visited twice");
        visited.insert(key);
        const auto wanted = expected.constFind(key);
        if (wanted == expected.cend())
            FuzzSupport::Fail("a key that the file does not give");
        if (value != wanted.value() || ini.GetValue(section, key) != value)
            FuzzSupport::Fail("a value differs from the file's");
    });
    if (visited.size() != expected.size())
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
