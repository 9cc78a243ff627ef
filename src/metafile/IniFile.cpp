#include "metafile/IniFile.h"

#include <QFile>
#include <QStringDecoder>

#include <utility>

namespace
{
// The whole file is decoded at once: a decoder that carries an unfinished character over from
// one read to the next (as a text stream's does) swallows the byte after it when that byte does
// not continue the character, and when that byte is a line end two lines become one.
QString Decoded(const QByteArray &bytes)
{
    const auto encoding = QStringConverter::encodingForData(bytes);
    // Stateless: an unfinished character at the very end is replaced, not kept back for a
    // further read that never comes. Either way a leading byte order mark is dropped.
    QStringDecoder decoder = !encoding || *encoding == QStringConverter::Utf8
        ? QStringDecoder(QStringConverter::Utf8, QStringDecoder::Flag::Stateless)
        : QStringDecoder(*encoding);
    QString text = decoder(bytes);
    text.remove(u'\r');
    return text;
}
}

bool IniFile::Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Read(Decoded(file.readAll()));
    return true;
}

void IniFile::Read(QStringView text)
{
    Section current;
    QString currentName;
    bool bHeaderSeen = false;
    for (const QStringView line : text.tokenize(u'\n', Qt::SkipEmptyParts)) {
        if (line.front() == u'[' && line.back() == u']') {
            if (bHeaderSeen && !current.isEmpty())
                Store(currentName, std::exchange(current, Section()));
            currentName = line.sliced(1, line.size() - 2).toString();
            bHeaderSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        const QStringView key = line.first(separator).trimmed();
        if (!key.isEmpty())
            current.insert(key.toString(), line.sliced(separator + 1).trimmed().toString());
    }
    if (bHeaderSeen) {
        Store(currentName, std::move(current));
    } else {
        unnamed = std::move(current);
        bUnnamed = true;
    }
}

void IniFile::Store(const QString &name, Section &&section)
{
    const auto stored = sections.find(name);
    if (stored == sections.end()) {
        sections.insert(name, std::move(section));
        return;
    }
    for (auto key = section.cbegin(); key != section.cend(); ++key)
        stored->insert(key.key(), key.value());
}

bool IniFile::HasSection(const QString &name) const
{
    return sections.contains(name);
}

const IniFile::Section *IniFile::FindSection(const QString &name) const
{
    if (name.isEmpty())
        return bUnnamed ? &unnamed : nullptr;
    const auto found = sections.constFind(name);
    return found == sections.constEnd() ? nullptr : &found.value();
}

QString IniFile::GetValue(const QString &section, const QString &key) const
{
    const Section *found = FindSection(section);
    return found ? found->value(key) : QString();
}

QStringList IniFile::SectionNames() const
{
    return sections.keys();
}
