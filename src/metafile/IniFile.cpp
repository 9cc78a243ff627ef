#include "metafile/IniFile.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

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

bool KeyLess(const IniFile::Entry &left, const IniFile::Entry &right)
{
    return left.key < right.key;
}
}

QStringView IniFile::Section::value(QStringView key) const
{
    const auto found = std::lower_bound(begin(), end(), Entry{key, {}}, KeyLess);
    return found != end() && found->key == key ? found->value : QStringView();
}

bool IniFile::Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    text = Decoded(file.readAll());
    Read();
    return true;
}

void IniFile::Read()
{
    size_t current = 0;  // where the current collection's entries begin
    QStringView currentName;
    bool bHeaderSeen = false;
    for (const QStringView line : QStringView(text).tokenize(u'\n', Qt::SkipEmptyParts)) {
        if (line.front() == u'[' && line.back() == u']') {
            if (bHeaderSeen && entries.size() > current) {
                Store(currentName, current);
                current = entries.size();
            }
            currentName = line.sliced(1, line.size() - 2);
            bHeaderSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        const QStringView key = line.first(separator).trimmed();
        if (!key.isEmpty())
            entries.push_back({key, line.sliced(separator + 1).trimmed()});
    }
    if (bHeaderSeen) {
        Store(currentName, current);
    } else {
        unnamed = Close(current);
        bUnnamed = true;
    }
}

IniFile::Section IniFile::Close(size_t first)
{
    const auto begin = entries.begin() + qsizetype(first);
    // Stable: of equal keys the one read last stays last, and wins. The toolkit writes keys in
    // order, so mostly there is nothing to sort.
    if (!std::is_sorted(begin, entries.end(), KeyLess))
        std::stable_sort(begin, entries.end(), KeyLess);
    const auto last = std::unique(std::make_reverse_iterator(entries.end()), std::make_reverse_iterator(begin),
                                  [](const Entry &left, const Entry &right) { return left.key == right.key; });
    entries.erase(begin, last.base());
    Section section;
    section.entries = &entries;
    section.first = first;
    section.last = entries.size();
    return section;
}

void IniFile::Store(QStringView name, size_t first)
{
    const auto stored = sections.find(name);
    if (stored == sections.end()) {
        sections.insert(name, Close(first));
        return;
    }
    // Rare: the earlier entries are copied behind the new ones' place, to be merged with them.
    std::vector<Entry> merged(stored->begin(), stored->end());
    merged.insert(merged.end(), entries.begin() + qsizetype(first), entries.end());
    entries.resize(first);
    entries.insert(entries.end(), merged.begin(), merged.end());
    *stored = Close(first);
}

bool IniFile::HasSection(const QString &name) const
{
    return sections.contains(name);
}

const IniFile::Section *IniFile::FindSection(QStringView name) const
{
    if (name.isEmpty())
        return bUnnamed ? &unnamed : nullptr;
    const auto found = sections.constFind(name);
    return found == sections.constEnd() ? nullptr : &found.value();
}

QString IniFile::GetValue(const QString &section, const QString &key) const
{
    const Section *found = FindSection(section);
    return found ? found->value(key).toString() : QString();
}

QStringList IniFile::SectionNames() const
{
    QStringList names;
    names.reserve(sections.size());
    for (auto section = sections.keyBegin(); section != sections.keyEnd(); ++section)
        names.append(section->toString());
    return names;
}
