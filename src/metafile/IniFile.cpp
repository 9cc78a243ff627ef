#include "metafile/IniFile.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextStream>
#include <QVarLengthArray>

#include <cstring>
#include <vector>

namespace {

using Id = quint32;
constexpr Id noId = ~Id(0);

// Values up to this length are stored once however often they occur: numbers such as sample
// rates repeat on nearly every line of a metafile, file names do not.
constexpr qsizetype sharedValueLength = 11;

// A key or value longer than this takes over the line's buffer instead of being copied, so that
// a corrupt file of one enormous line is not held twice.
constexpr qsizetype takeOverLength = 1 << 16;

// Bytes read at a time; also the size of the pieces in which an over-long line is decoded.
constexpr qsizetype readChunk = 1 << 16;

// A section with more keys than this gets a key index once it is looked up often; smaller ones,
// and sections looked up once or twice (a bank's "num_sounds"), are searched key by key.
constexpr Id searchedKeyCount = 16;
constexpr int lookupsBeforeIndex = 4;

constexpr quint64 fibonacciFactor = 0x9E3779B97F4A7C15ull;

quint32 TextHash(QStringView text)
{
    return quint32(qHash(text, 0));
}

// Open-addressing set of ids whose texts live in a separate vector.
class TextIndex
{
public:
    Id Find(const std::vector<QString> &texts, QStringView text, quint32 hash) const
    {
        if (table.empty())
            return noId;
        for (size_t i = SlotOf(hash);; i = (i + 1) & mask) {
            const Slot &slot = table[i];
            if (slot.id == noId)
                return noId;
            if (slot.hash == hash && texts[slot.id] == text)
                return slot.id;
        }
    }

    void Insert(Id id, quint32 hash)
    {
        if ((count + 1) * 2 > table.size())
            Grow();
        Place({id, hash});
        ++count;
    }

private:
    struct Slot
    {
        Id id = noId;
        quint32 hash = 0;
    };

    size_t SlotOf(quint32 hash) const { return size_t((quint64(hash) * fibonacciFactor) >> shift); }

    void Place(Slot slot)
    {
        size_t i = SlotOf(slot.hash);
        while (table[i].id != noId)
            i = (i + 1) & mask;
        table[i] = slot;
    }

    void Grow()
    {
        std::vector<Slot> old;
        old.swap(table);
        const size_t size = old.empty() ? 64 : old.size() * 2;
        table.assign(size, Slot());
        mask = size - 1;
        shift = 64 - qCountTrailingZeroBits(quint64(size));
        for (const Slot &slot : old) {
            if (slot.id != noId)
                Place(slot);
        }
    }

    std::vector<Slot> table;
    size_t count = 0;
    size_t mask = 0;
    int shift = 64;
};

// Splits a file into lines and decodes every line by itself. A decoder that carries its state from
// one read to the next (as a text stream's does) swallows the byte after an unfinished character
// at the end of a read, and when that byte is a line end two lines become one.
// Like a device opened in text mode, it drops every '\r'; a UTF-8 byte order mark is skipped.
class LineReader
{
public:
    explicit LineReader(QIODevice &device) : device(device) {}

    // False when the file holds no further line.
    bool Next(QString &line)
    {
        line.truncate(0);
        bool bStarted = false;
        qsizetype searched = position;
        for (;;) {
            const char *data = buffer.constData();
            const void *found = std::memchr(data + searched, '\n', size_t(buffer.size() - searched));
            if (found) {
                const qsizetype lineEnd = static_cast<const char *>(found) - data;
                Decode(line, position, lineEnd);
                position = lineEnd + 1;
                return true;
            }
            if (buffer.size() - position >= readChunk) {
                // An enormous line is decoded as it comes, so its bytes are never held in full.
                const qsizetype cut = CompleteCharacters(position, buffer.size());
                Decode(line, position, cut);
                position = cut;
                bStarted = true;
            }
            if (!Fill()) {
                if (position == buffer.size() && !bStarted)
                    return false;
                Decode(line, position, buffer.size());
                position = buffer.size();
                return true;
            }
            searched = position;
        }
    }

private:
    bool Fill()
    {
        const qsizetype kept = buffer.size() - position;
        if (position > 0) {
            std::memmove(buffer.data(), buffer.constData() + position, size_t(kept));
            position = 0;
        }
        buffer.resize(kept + readChunk);
        const qint64 read = device.read(buffer.data() + kept, readChunk);
        buffer.resize(kept + qMax<qint64>(read, 0));
        if (bFirstRead && buffer.startsWith("\xEF\xBB\xBF"))
            position = 3;
        bFirstRead = false;
        return read > 0;
    }

    // The end of the bytes from..to without an unfinished UTF-8 character at their end.
    qsizetype CompleteCharacters(qsizetype from, qsizetype to) const
    {
        for (qsizetype i = to - 1; i >= from && i >= to - 3; --i) {
            const uchar byte = uchar(buffer[i]);
            if ((byte & 0xC0) == 0x80)
                continue;
            const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return to - i < length ? i : to;
        }
        return to;
    }

    void Decode(QString &line, qsizetype from, qsizetype to)
    {
        QByteArrayView bytes(buffer.constData() + from, to - from);
        if (bytes.contains('\r')) {
            withoutReturns.resize(0);
            for (const char byte : bytes) {
                if (byte != '\r')
                    withoutReturns.append(byte);
            }
            bytes = withoutReturns;
        }
        // Decoding never yields more UTF-16 units than it reads bytes.
        const qsizetype start = line.size();
        if (line.capacity() < start + bytes.size())
            line.reserve(qMax(start + bytes.size(), 2 * line.capacity()));
        line.resize(start + bytes.size());
        const QChar *end = decoder.appendToBuffer(line.data() + start, bytes);
        line.truncate(end - line.constData());
    }

    QIODevice &device;
    QByteArray buffer;
    qsizetype position = 0;
    bool bFirstRead = true;
    QByteArray withoutReturns;
    // Stateless: an unfinished character at the end of a line is replaced, not carried over.
    // ConvertInitialBom: only the file's first bytes may be a byte order mark, not every line's.
    QStringDecoder decoder{QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

// A file that begins with a UTF-16 or UTF-32 byte order mark is left to the text stream, which
// recognises those encodings; its lines are read in pieces so an enormous one is not buffered twice.
class StreamLineReader
{
public:
    explicit StreamLineReader(QIODevice &device) : stream(&device) {}

    bool Next(QString &line)
    {
        if (!stream.readLineInto(&line, readChunk))
            return false;
        // A piece as long as asked for may be followed by more of the same line, or by an empty
        // piece when the line was exactly that long.
        bool bMaybeMore = line.size() == readChunk;
        while (bMaybeMore && stream.readLineInto(&piece, readChunk)) {
            line += piece;
            bMaybeMore = piece.size() == readChunk;
        }
        line.remove(QLatin1Char('\r'));
        return true;
    }

private:
    QTextStream stream;
    QString piece;
};

bool StartsWithWideByteOrderMark(QIODevice &device)
{
    const QByteArray start = device.peek(4);
    return start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")
        || start.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4));
}

// Copies text out of line, or, when allowed and text is long, takes line's buffer over: Qt drops
// a removed front by moving the start pointer, so nothing is copied then. Views into line stay
// readable afterwards (the buffer lives on in the result) but line itself is empty.
QString TakeText(QString &line, QStringView text, bool bMayTakeOver)
{
    if (!bMayTakeOver || text.size() < takeOverLength)
        return text.toString();
    const qsizetype from = text.data() - line.constData();
    QString taken = std::move(line);
    line = QString();
    taken.truncate(from + text.size());
    taken.remove(0, from);
    return taken;
}

// One key line as stored: which collection it belongs to, which key and which value text.
struct Entry
{
    Id collection;
    Id key;
    Id value;
};

// The keys of one section while it is read or after it is stored. Its entries lie in runs of
// consecutive entry ids; a merged section gets one run more.
struct Collection
{
    struct Run
    {
        Id begin;
        Id end;
    };
    QVarLengthArray<Run, 1> runs;
    Id keyCount = 0;
    // Built on demand; lookups are const but may build it.
    mutable std::unique_ptr<QHash<Id, Id>> keyIndex;
    mutable int lookups = 0;
};

} // namespace

struct IniFile::Store
{
    std::vector<QString> keys;          // each distinct key once
    TextIndex keyIndex;
    std::vector<QString> values;        // short values once, long values as they come
    TextIndex sharedValueIndex;
    std::vector<Entry> entries;
    std::vector<Id> lastEntryOfKey;     // finds a repeated key in the section being read
    std::vector<Collection> collections;
    QHash<QString, Id> sections;        // stored section name -> collection
    Id unnamed = noId;

    template<typename Reader>
    void Read(Reader &reader);
    Id NewCollection();
    void StoreCollection(const QString &name, Id collection);
    void SetInCurrent(Id collection, Id key, Id value);
    void MergeValue(Id collection, Id key, Id value);
    void Append(Id collection, Id key, Id value);
    Id FindEntry(Id collection, Id key) const;
    Id FindCollection(const QString &section) const;
    Id InternKey(QString &line, QStringView key, bool bMayTakeOver);
    Id AddValue(QString &line, QStringView value, bool bMayTakeOver);
    void BuildKeyIndex(const Collection &collection) const;
};

template<typename Reader>
void IniFile::Store::Read(Reader &reader)
{
    Id current = NewCollection();
    QString currentName;
    bool headerSeen = false;
    QString line;
    while (reader.Next(line)) {
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            if (headerSeen && collections[current].keyCount > 0) {
                StoreCollection(currentName, current);
                current = NewCollection();
            }
            currentName = TakeText(line, QStringView(line).sliced(1, line.size() - 2), true);
            headerSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(QLatin1Char('='));
        if (separator < 0)
            continue;
        const QStringView whole(line);
        const QStringView key = whole.first(separator).trimmed();
        if (key.isEmpty())
            continue;
        const QStringView value = whole.sliced(separator + 1).trimmed();
        // Only the longer of the two may take the line over, and only after the other is copied.
        if (value.size() >= key.size()) {
            const Id keyId = InternKey(line, key, false);
            SetInCurrent(current, keyId, AddValue(line, value, true));
        } else {
            const Id valueId = AddValue(line, value, false);
            SetInCurrent(current, InternKey(line, key, true), valueId);
        }
    }
    if (headerSeen)
        StoreCollection(currentName, current);
    else
        unnamed = current;
}

Id IniFile::Store::NewCollection()
{
    collections.emplace_back();
    return Id(collections.size() - 1);
}

void IniFile::Store::StoreCollection(const QString &name, Id collection)
{
    const auto stored = sections.constFind(name);
    if (stored == sections.constEnd()) {
        sections.insert(name, collection);
        return;
    }
    // The entries merged away stay behind unreachable: repeated sections are rare.
    const Id target = stored.value();
    for (const Collection::Run &run : collections[collection].runs) {
        for (Id entry = run.begin; entry < run.end; ++entry)
            MergeValue(target, entries[entry].key, entries[entry].value);
    }
}

void IniFile::Store::SetInCurrent(Id collection, Id key, Id value)
{
    if (key >= lastEntryOfKey.size())
        lastEntryOfKey.resize(key + 1, noId);
    const Id last = lastEntryOfKey[key];
    if (last != noId && entries[last].collection == collection) {
        entries[last].value = value;
        return;
    }
    lastEntryOfKey[key] = Id(entries.size());
    Append(collection, key, value);
}

void IniFile::Store::MergeValue(Id collection, Id key, Id value)
{
    const Collection &target = collections[collection];
    if (!target.keyIndex && target.keyCount > searchedKeyCount)
        BuildKeyIndex(target);
    const Id existing = FindEntry(collection, key);
    if (existing != noId) {
        entries[existing].value = value;
        return;
    }
    if (target.keyIndex)
        target.keyIndex->insert(key, Id(entries.size()));
    Append(collection, key, value);
}

void IniFile::Store::Append(Id collection, Id key, Id value)
{
    const Id entry = Id(entries.size());
    entries.push_back({collection, key, value});
    Collection &target = collections[collection];
    if (!target.runs.isEmpty() && target.runs.last().end == entry)
        ++target.runs.last().end;
    else
        target.runs.append({entry, entry + 1});
    ++target.keyCount;
}

Id IniFile::Store::FindEntry(Id collection, Id key) const
{
    const Collection &searched = collections[collection];
    if (!searched.keyIndex && searched.keyCount > searchedKeyCount && ++searched.lookups > lookupsBeforeIndex)
        BuildKeyIndex(searched);
    if (searched.keyIndex)
        return searched.keyIndex->value(key, noId);
    for (const Collection::Run &run : searched.runs) {
        for (Id entry = run.begin; entry < run.end; ++entry) {
            if (entries[entry].key == key)
                return entry;
        }
    }
    return noId;
}

void IniFile::Store::BuildKeyIndex(const Collection &collection) const
{
    collection.keyIndex = std::make_unique<QHash<Id, Id>>();
    collection.keyIndex->reserve(collection.keyCount);
    for (const Collection::Run &run : collection.runs) {
        for (Id entry = run.begin; entry < run.end; ++entry)
            collection.keyIndex->insert(entries[entry].key, entry);
    }
}

Id IniFile::Store::FindCollection(const QString &section) const
{
    if (section.isEmpty())
        return unnamed;
    return sections.value(section, noId);
}

Id IniFile::Store::InternKey(QString &line, QStringView key, bool bMayTakeOver)
{
    const quint32 hash = TextHash(key);
    const Id found = keyIndex.Find(keys, key, hash);
    if (found != noId)
        return found;
    const Id id = Id(keys.size());
    keys.push_back(TakeText(line, key, bMayTakeOver));
    keyIndex.Insert(id, hash);
    return id;
}

Id IniFile::Store::AddValue(QString &line, QStringView value, bool bMayTakeOver)
{
    if (value.size() > sharedValueLength) {
        values.push_back(TakeText(line, value, bMayTakeOver));
        return Id(values.size() - 1);
    }
    const quint32 hash = TextHash(value);
    const Id found = sharedValueIndex.Find(values, value, hash);
    if (found != noId)
        return found;
    const Id id = Id(values.size());
    values.push_back(value.toString());
    sharedValueIndex.Insert(id, hash);
    return id;
}

IniFile::IniFile() = default;

IniFile::~IniFile() = default;

bool IniFile::Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    auto loaded = std::make_unique<Store>();
    if (StartsWithWideByteOrderMark(file)) {
        StreamLineReader reader(file);
        loaded->Read(reader);
    } else {
        LineReader reader(file);
        loaded->Read(reader);
    }
    store = std::move(loaded);
    return true;
}

bool IniFile::HasSection(const QString &name) const
{
    return store && store->sections.contains(name);
}

const QString &IniFile::GetValue(const QString &section, const QString &key) const
{
    if (!store)
        return defaultValue;
    const Id collection = store->FindCollection(section);
    if (collection == noId)
        return defaultValue;
    const Id keyId = store->keyIndex.Find(store->keys, key, TextHash(key));
    if (keyId == noId)
        return defaultValue;
    const Id entry = store->FindEntry(collection, keyId);
    return entry == noId ? defaultValue : store->values[store->entries[entry].value];
}

QStringList IniFile::SectionNames() const
{
    return store ? store->sections.keys() : QStringList();
}

void IniFile::ForEachKey(const QString &section,
                         const std::function<void(const QString &, const QString &)> &visit) const
{
    if (!store)
        return;
    const Id collection = store->FindCollection(section);
    if (collection == noId)
        return;
    for (const Collection::Run &run : store->collections[collection].runs) {
        for (Id entry = run.begin; entry < run.end; ++entry)
            visit(store->keys[store->entries[entry].key], store->values[store->entries[entry].value]);
    }
}
