#include "metafile/IniFile.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextStream>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Id = quint32;
constexpr Id noId = ~Id(0);

// Values up to this length (any 32-bit number fits) are stored once however often they occur:
// numbers such as sample rates repeat on nearly every line of a metafile, file names do not.
constexpr qsizetype sharedValueLength = 11;

// A metafile line takes some 30 bytes; room for that many entries is reserved up front so that
// reading does not move everything read so far again and again. More lines still fit.
constexpr qint64 bytesPerLineEstimate = 24;
constexpr qint64 reservedLinesLimit = 1 << 22;

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

bool SameText(QStringView first, QStringView second)
{
    return first.size() == second.size()
        && std::memcmp(first.data(), second.data(), size_t(first.size()) * sizeof(QChar)) == 0;
}

// Open-addressing set of ids, found by their text. Each slot keeps a copy of a short text beside
// its id, so a lookup compares without following a pointer into the (large) vector of all texts.
class TextIndex
{
public:
    static constexpr qsizetype inlineLength = 11;

    template<typename TextOf>
    Id Find(QStringView text, quint32 hash, const TextOf &textOf) const
    {
        if (table.empty())
            return noId;
        const bool bInline = text.size() <= inlineLength;
        for (size_t i = SlotOf(hash);; i = (i + 1) & mask) {
            const Slot &slot = table[i];
            if (slot.id == noId)
                return noId;
            if (slot.hash != hash)
                continue;
            if (bInline ? slot.size == text.size()
                          && std::memcmp(slot.text, text.data(), size_t(text.size()) * sizeof(QChar)) == 0
                        : SameText(textOf(slot.id), text))
                return slot.id;
        }
    }

    void Insert(Id id, QStringView text, quint32 hash)
    {
        if ((count + 1) * 2 > table.size())
            Grow();
        Slot slot;
        slot.id = id;
        slot.hash = hash;
        // A long text is never compared inline: its size here stays out of reach of any lookup.
        slot.size = text.size() <= inlineLength ? quint8(text.size()) : quint8(inlineLength + 1);
        if (text.size() <= inlineLength)
            std::memcpy(slot.text, text.data(), size_t(text.size()) * sizeof(QChar));
        Place(slot);
        ++count;
    }

private:
    struct Slot
    {
        Id id = noId;
        quint32 hash = 0;
        quint8 size = 0;
        char16_t text[inlineLength];
    };

    size_t SlotOf(quint32 hash) const { return size_t((quint64(hash) * fibonacciFactor) >> shift); }

    void Place(const Slot &slot)
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

// Splits a file into lines. It decodes what it reads in large pieces, each cut after its last
// complete character and decoded by itself: a decoder that carries an unfinished character over
// from one read to the next (as a text stream's does) swallows the byte after it when that byte
// does not continue the character, and when that byte is a line end two lines become one.
// Like a device opened in text mode, it drops every '\r'; a UTF-8 byte order mark is skipped.
class LineReader
{
public:
    explicit LineReader(QIODevice &device) : device(device) {}

    // The next line, valid until the next call; false when the file holds no further line.
    bool Next(QStringView &line)
    {
        bOverlong = false;
        overlong.truncate(0);
        for (;;) {
            const qsizetype lineEnd = QStringView(text).indexOf(u'\n', position);
            if (lineEnd >= 0) {
                const QStringView found = QStringView(text).sliced(position, lineEnd - position);
                position = lineEnd + 1;
                if (!bOverlong) {
                    line = found;
                    return true;
                }
                overlong += found;
                line = overlong;
                return true;
            }
            if (text.size() - position >= readChunk) {
                // An enormous line gathers in a buffer of its own, not in the decoded text.
                overlong += QStringView(text).sliced(position);
                position = text.size();
                bOverlong = true;
            }
            if (!DecodeMore()) {
                if (bOverlong || position < text.size()) {
                    if (bOverlong) {
                        overlong += QStringView(text).sliced(position);
                        line = overlong;
                    } else {
                        line = QStringView(text).sliced(position);
                    }
                    position = text.size();
                    return true;
                }
                return false;
            }
        }
    }

    // The buffer the current line lives in when it is long enough to be worth taking over.
    QString *OverlongLine() { return bOverlong ? &overlong : nullptr; }

private:
    // Appends the next piece of the file to text; false at the end of the file.
    bool DecodeMore()
    {
        const qsizetype kept = text.size() - position;
        if (position > 0) {
            std::memmove(text.data(), text.constData() + position, size_t(kept) * sizeof(QChar));
            text.truncate(kept);
            position = 0;
        }
        const qsizetype pending = bytes.size();
        bytes.resize(pending + readChunk);
        const qint64 read = device.read(bytes.data() + pending, readChunk);
        bytes.resize(pending + qMax<qint64>(read, 0));
        if (bytes.isEmpty())
            return false;
        qsizetype from = 0;
        if (bFirstRead && bytes.startsWith("\xEF\xBB\xBF"))
            from = 3;
        bFirstRead = false;
        // At the end of the file an unfinished character is decoded as it is (and replaced).
        const qsizetype cut = read > 0 ? CompleteCharacters(from, bytes.size()) : bytes.size();
        AppendDecoded(QByteArrayView(bytes.constData() + from, cut - from));
        bytes.remove(0, cut);
        return true;
    }

    // The end of the bytes from..to without an unfinished UTF-8 character at their end.
    qsizetype CompleteCharacters(qsizetype from, qsizetype to) const
    {
        for (qsizetype i = to - 1; i >= from && i >= to - 3; --i) {
            const uchar byte = uchar(bytes[i]);
            if ((byte & 0xC0) == 0x80)
                continue;
            const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return to - i < length ? i : to;
        }
        return to;
    }

    void AppendDecoded(QByteArrayView piece)
    {
        // Decoding never yields more UTF-16 units than it reads bytes.
        const qsizetype start = text.size();
        text.resize(start + piece.size());
        QChar *end = decoder.appendToBuffer(text.data() + start, piece);
        QChar *write = text.data() + start;
        const QChar *firstReturn = std::find(write, end, u'\r');
        if (firstReturn != end)
            end = std::remove(write + (firstReturn - write), end, u'\r');
        text.truncate(end - text.constData());
    }

    QIODevice &device;
    QByteArray bytes;          // read, not yet decoded: an unfinished character at most
    QString text;              // decoded, from position on not yet handed out
    qsizetype position = 0;
    QString overlong;
    bool bOverlong = false;
    bool bFirstRead = true;
    // Stateless: every piece is decoded on its own, nothing is carried over.
    // ConvertInitialBom: a byte order mark is skipped above, and only at the start of the file.
    QStringDecoder decoder{QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

// A file that begins with a UTF-16 or UTF-32 byte order mark is left to the text stream, which
// recognises those encodings; its lines are read in pieces so an enormous one is not buffered twice.
class StreamLineReader
{
public:
    explicit StreamLineReader(QIODevice &device) : stream(&device) {}

    bool Next(QStringView &view)
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
        view = line;
        return true;
    }

    QString *OverlongLine() { return &line; }

private:
    QTextStream stream;
    QString line;
    QString piece;
};

bool StartsWithWideByteOrderMark(QIODevice &device)
{
    const QByteArray start = device.peek(4);
    return start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")
        || start.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4));
}

// Copies text out of its line, or, when allowed and text is long, takes over the buffer pLine
// that holds it: Qt drops a removed front by moving the start pointer, so nothing is copied then.
// Views into the line stay readable afterwards (the buffer lives on in the result).
QString TakeText(QString *pLine, QStringView text, bool bMayTakeOver)
{
    if (!pLine || !bMayTakeOver || text.size() < takeOverLength)
        return text.toString();
    const qsizetype from = text.data() - pLine->constData();
    QString taken = std::move(*pLine);
    *pLine = QString();
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
    void Read(Reader &reader, qint64 fileSize);
    Id NewCollection();
    void StoreCollection(const QString &name, Id collection);
    void SetInCurrent(Id collection, Id key, Id value);
    void MergeValue(Id collection, Id key, Id value);
    void Append(Id collection, Id key, Id value);
    Id FindEntry(Id collection, Id key) const;
    Id FindCollection(const QString &section) const;
    Id FindKey(QStringView key, quint32 hash) const
    {
        return keyIndex.Find(key, hash, [this](Id id) { return QStringView(keys[id]); });
    }
    Id InternKey(QString *pLine, QStringView key, bool bMayTakeOver);
    Id AddValue(QString *pLine, QStringView value, bool bMayTakeOver);
    void BuildKeyIndex(const Collection &collection) const;
};

template<typename Reader>
void IniFile::Store::Read(Reader &reader, qint64 fileSize)
{
    const qint64 lines = qMin(fileSize / bytesPerLineEstimate, reservedLinesLimit);
    entries.reserve(size_t(lines));
    values.reserve(size_t(lines / 2));
    Id current = NewCollection();
    QString currentName;
    bool headerSeen = false;
    QStringView line;
    while (reader.Next(line)) {
        if (line.isEmpty())
            continue;
        if (line.front() == u'[' && line.back() == u']') {
            if (headerSeen && collections[current].keyCount > 0) {
                StoreCollection(currentName, current);
                current = NewCollection();
            }
            currentName = TakeText(reader.OverlongLine(), line.sliced(1, line.size() - 2), true);
            headerSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        const QStringView key = line.first(separator).trimmed();
        if (key.isEmpty())
            continue;
        const QStringView value = line.sliced(separator + 1).trimmed();
        // Only the longer of the two may take the line over, and only after the other is copied.
        if (value.size() >= key.size()) {
            const Id keyId = InternKey(reader.OverlongLine(), key, false);
            SetInCurrent(current, keyId, AddValue(reader.OverlongLine(), value, true));
        } else {
            const Id valueId = AddValue(reader.OverlongLine(), value, false);
            SetInCurrent(current, InternKey(reader.OverlongLine(), key, true), valueId);
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

Id IniFile::Store::InternKey(QString *pLine, QStringView key, bool bMayTakeOver)
{
    const quint32 hash = TextHash(key);
    const Id found = FindKey(key, hash);
    if (found != noId)
        return found;
    const Id id = Id(keys.size());
    keys.push_back(TakeText(pLine, key, bMayTakeOver));
    keyIndex.Insert(id, key, hash);
    return id;
}

Id IniFile::Store::AddValue(QString *pLine, QStringView value, bool bMayTakeOver)
{
    if (value.size() > sharedValueLength) {
        values.push_back(TakeText(pLine, value, bMayTakeOver));
        return Id(values.size() - 1);
    }
    const quint32 hash = TextHash(value);
    const Id found = sharedValueIndex.Find(value, hash, [](Id) { return QStringView(); });
    if (found != noId)
        return found;
    const Id id = Id(values.size());
    values.push_back(value.toString());
    sharedValueIndex.Insert(id, value, hash);
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
        loaded->Read(reader, file.size());
    } else {
        LineReader reader(file);
        loaded->Read(reader, file.size());
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
    const Id keyId = store->FindKey(key, TextHash(key));
    if (keyId == noId)
        return defaultValue;
    const Id entry = store->FindEntry(collection, keyId);
    return entry == noId ? defaultValue : store->values[store->entries[entry].value];
}

QStringList IniFile::SectionNames() const
{
    return store ? store->sections.keys() : QStringList();
}

int IniFile::KeyCount(const QString &section) const
{
    if (!store)
        return 0;
    const Id collection = store->FindCollection(section);
    return collection == noId ? 0 : int(store->collections[collection].keyCount);
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
