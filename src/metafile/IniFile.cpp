#include "metafile/IniFile.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

using Id = quint32;
constexpr Id noId = ~Id(0);

// Values up to this length (any 32-bit number fits) are kept in place rather than as strings of
// their own, and shared when they repeat: numbers such as sample rates recur on nearly every line
// of a metafile. Longer values, file names mostly, become strings that the model shares.
constexpr qsizetype sharedValueLength = 11;

// A key or value longer than this takes over the line's buffer instead of being copied, so that
// a corrupt file of one enormous line is not held twice.
constexpr qsizetype takeOverLength = 1 << 16;

// Metafile lines are some 16 to 40 bytes long; room is reserved for the lines a file of a given
// size likely holds (up to a limit), and more still fit.
constexpr qint64 bytesPerLineEstimate = 16;
constexpr qint64 reservedLinesLimit = 1 << 20;

// Bytes read at a time; also the size of the pieces in which an over-long line is decoded.
constexpr qsizetype readChunk = 1 << 16;

// A section with more keys than this gets a key index once it is looked up often; smaller ones,
// and sections looked up once or twice (a bank's "num_sounds"), are searched key by key.
constexpr Id searchedKeyCount = 16;
constexpr int lookupsBeforeIndex = 4;

constexpr quint64 fibonacciFactor = 0x9E3779B97F4A7C15ull;

// Keys and values are short; a multiply-and-shift hash over eight bytes at a time is several times
// faster on them than the general string hash.
quint32 TextHash(QStringView text)
{
    constexpr quint64 mix = 0xBF58476D1CE4E5B9ull;
    const char *bytes = reinterpret_cast<const char *>(text.data());
    const size_t size = size_t(text.size()) * sizeof(QChar);
    quint64 hash = fibonacciFactor ^ size;
    const auto add = [&hash](quint64 word) {
        hash = (hash ^ word) * mix;
        hash ^= hash >> 31;
    };
    quint64 word = 0;
    if (size >= sizeof(word)) {
        size_t at = 0;
        for (; at + sizeof(word) <= size; at += sizeof(word)) {
            std::memcpy(&word, bytes + at, sizeof(word));
            add(word);
        }
        // The last eight bytes again, overlapping: cheaper than gathering the rest piece by piece.
        if (at < size) {
            std::memcpy(&word, bytes + size - sizeof(word), sizeof(word));
            add(word);
        }
    } else if (size > 0) {
        quint32 low = 0;
        quint16 high = 0;
        if (size >= 4)
            std::memcpy(&low, bytes, 4);
        if (size == 2 || size == 6)
            std::memcpy(&high, bytes + size - 2, 2);
        add(quint64(low) | quint64(high) << 32);
    }
    hash *= 0x94D049BB133111EBull;
    return quint32(hash ^ (hash >> 32));
}

// Most keys and values have nothing to trim; telling so from their ends is cheaper than a call.
QStringView Trimmed(QStringView text)
{
    const auto plain = [](QChar c) { return c.unicode() > u' ' && c.unicode() < 0x7F; };
    if (text.isEmpty() || (plain(text.front()) && plain(text.back())))
        return text;
    return text.trimmed();
}

// Keys, section names and short values take a few words; comparing them here beats a call.
bool SameText(QStringView first, QStringView second)
{
    if (first.size() != second.size())
        return false;
    const char *a = reinterpret_cast<const char *>(first.data());
    const char *b = reinterpret_cast<const char *>(second.data());
    const size_t size = size_t(first.size()) * sizeof(QChar);
    if (size > 64)
        return std::memcmp(a, b, size) == 0;
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        quint64 wordA, wordB;
        std::memcpy(&wordA, a + at, 8);
        std::memcpy(&wordB, b + at, 8);
        if (wordA != wordB)
            return false;
    }
    for (; at < size; at += 2) {
        quint16 unitA, unitB;
        std::memcpy(&unitA, a + at, 2);
        std::memcpy(&unitB, b + at, 2);
        if (unitA != unitB)
            return false;
    }
    return true;
}

// Open-addressing set of ids, found by their text, which lives elsewhere (textOf gives it).
class TextIndex
{
public:
    template<typename TextOf>
    Id Find(QStringView text, quint32 hash, const TextOf &textOf) const
    {
        if (table.empty())
            return noId;
        for (size_t i = SlotOf(hash);; i = (i + 1) & mask) {
            const Slot &slot = table[i];
            if (slot.id == noId)
                return noId;
            if (slot.hash == hash && SameText(textOf(slot.id), text))
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
        QChar *decoded = text.data() + start;
        const qsizetype firstReturn = QStringView(decoded, end).indexOf(u'\r');
        if (firstReturn >= 0)
            end = std::remove(decoded + firstReturn, end, u'\r');
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

// Remembers the short values seen lately, one per slot, so that a value repeated all over a
// metafile (a sample rate, a zero) is stored once. Unlike a full index it never grows: values
// that do not repeat merely pass through it.
class RecentValues
{
public:
    RecentValues() : table(slotCount) {}

    Id Find(QStringView text, quint32 hash) const
    {
        const Slot &slot = table[hash & (slotCount - 1)];
        if (slot.id != noId && slot.hash == hash && slot.size == text.size()
            && std::memcmp(slot.text, text.data(), size_t(text.size()) * sizeof(QChar)) == 0)
            return slot.id;
        return noId;
    }

    void Remember(Id id, QStringView text, quint32 hash)
    {
        Q_ASSERT(text.size() <= sharedValueLength);
        Slot &slot = table[hash & (slotCount - 1)];
        slot.id = id;
        slot.hash = hash;
        slot.size = quint8(text.size());
        std::memcpy(slot.text, text.data(), size_t(text.size()) * sizeof(QChar));
    }

private:
    static constexpr size_t slotCount = 1024;
    struct Slot
    {
        Id id = noId;
        quint32 hash = 0;
        quint8 size = 0;
        char16_t text[sharedValueLength];
    };
    std::vector<Slot> table;
};

// A value short enough to be kept in place rather than in a string of its own.
struct ShortText
{
    quint8 size = 0;
    char16_t text[sharedValueLength];
};

// Values are kept in two stores: short ones in place, longer ones as strings that the caller can
// share. A value id tells which by its top bit.
constexpr Id shortValueBit = Id(1) << 31;

// One key line as stored: which collection it belongs to, which key and which value.
struct Entry
{
    Id collection;
    Id key;
    Id value;
};

struct Run
{
    Id begin;
    Id end;
};

// What only some sections need: the runs of entries a merge added, and an index of their keys.
struct CollectionExtra
{
    std::vector<Run> runs;
    std::unique_ptr<QHash<Id, Id>> keyIndex;
};

// The keys of one section while it is read or after it is stored: the entries from begin to
// end, and for a merged section the further runs.
struct Collection
{
    Id begin = 0;
    Id end = 0;
    Id keyCount = 0;
    mutable Id lookups = 0;
    // Lookups are const but may build the key index.
    mutable std::unique_ptr<CollectionExtra> extra;

    template<typename Visit>
    void ForEachEntry(const Visit &visit) const
    {
        for (Id entry = begin; entry < end; ++entry)
            visit(entry);
        if (extra) {
            for (const Run &run : extra->runs) {
                for (Id entry = run.begin; entry < run.end; ++entry)
                    visit(entry);
            }
        }
    }
};

} // namespace

struct IniFile::Store
{
    std::vector<QString> keys;          // each distinct key once
    TextIndex keyIndex;
    std::vector<Id> keyAfter;           // per key: the key that followed it last time
    Id previousKey = noId;
    std::vector<QString> strings;       // long values
    std::vector<ShortText> shortTexts;  // short values, once per run of repeats
    RecentValues recentValues;
    // Short values that GetValue had to hand out as strings. A node map: references stay valid.
    mutable std::unordered_map<Id, QString> shortStrings;
    std::vector<Entry> entries;
    std::vector<Id> lastEntryOfKey;     // finds a repeated key in the section being read
    std::vector<Collection> collections;
    std::vector<Id> sectionNames;       // stored sections, named by a value id...
    std::vector<Id> sectionCollections; // ...and their collections
    TextIndex sectionIndex;
    Id unnamed = noId;

    template<typename Reader>
    void Read(Reader &reader, qint64 fileSize);
    Id NewCollection();
    void StoreCollection(Id name, Id collection);
    void SetInCurrent(Id collection, Id key, Id value);
    void MergeValue(Id collection, Id key, Id value);
    void Append(Id collection, Id key, Id value);
    Id FindEntry(Id collection, Id key) const;
    Id FindSection(QStringView name, quint32 hash) const
    {
        return sectionIndex.Find(name, hash, [this](Id id) { return View(sectionNames[id]).text; });
    }
    Id FindCollection(QStringView section) const;
    Id FindKey(QStringView key, quint32 hash) const
    {
        return keyIndex.Find(key, hash, [this](Id id) { return QStringView(keys[id]); });
    }
    Id InternKey(QString *pLine, QStringView key, bool bMayTakeOver);
    Id AddValue(QString *pLine, QStringView value, bool bMayTakeOver);
    IniFile::ValueView View(Id value) const
    {
        if (value & shortValueBit) {
            const ShortText &text = shortTexts[value & ~shortValueBit];
            return {QStringView(text.text, text.size), nullptr};
        }
        return {strings[value], &strings[value]};
    }
    const QString &String(Id value) const;
    void BuildKeyIndex(const Collection &collection) const;
};

template<typename Reader>
void IniFile::Store::Read(Reader &reader, qint64 fileSize)
{
    // Reserving spares moving everything read so far again and again while the file is read;
    // room that stays unused is never touched and takes no memory.
    const size_t lines = size_t(qMin(fileSize / bytesPerLineEstimate, reservedLinesLimit));
    entries.reserve(lines);
    strings.reserve(lines / 2);
    shortTexts.reserve(lines / 2);
    Id current = NewCollection();
    Id currentName = noId;              // kept like a value: short names need no string
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
            currentName = AddValue(reader.OverlongLine(), line.sliced(1, line.size() - 2), true);
            headerSeen = true;
            continue;
        }
        const qsizetype separator = line.indexOf(u'=');
        if (separator < 0)
            continue;
        const QStringView key = Trimmed(line.first(separator));
        if (key.isEmpty())
            continue;
        const QStringView value = Trimmed(line.sliced(separator + 1));
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

void IniFile::Store::StoreCollection(Id name, Id collection)
{
    const QStringView text = View(name).text;
    const quint32 hash = TextHash(text);
    const Id section = FindSection(text, hash);
    if (section == noId) {
        const Id id = Id(sectionNames.size());
        sectionIndex.Insert(id, hash);
        sectionNames.push_back(name);
        sectionCollections.push_back(collection);
        return;
    }
    // The entries merged away stay behind unreachable: repeated sections are rare.
    const Id target = sectionCollections[section];
    collections[collection].ForEachEntry([this, target](Id entry) {
        MergeValue(target, entries[entry].key, entries[entry].value);
    });
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
    if (!(target.extra && target.extra->keyIndex) && target.keyCount > searchedKeyCount)
        BuildKeyIndex(target);
    const Id existing = FindEntry(collection, key);
    if (existing != noId) {
        entries[existing].value = value;
        return;
    }
    if (target.extra && target.extra->keyIndex)
        target.extra->keyIndex->insert(key, Id(entries.size()));
    Append(collection, key, value);
}

void IniFile::Store::Append(Id collection, Id key, Id value)
{
    const Id entry = Id(entries.size());
    entries.emplace_back(Entry{collection, key, value});
    Collection &target = collections[collection];
    ++target.keyCount;
    if (!target.extra || target.extra->runs.empty()) {
        if (target.begin == target.end) {
            target.begin = entry;
            target.end = entry + 1;
            return;
        }
        if (target.end == entry) {
            ++target.end;
            return;
        }
    }
    if (!target.extra)
        target.extra = std::make_unique<CollectionExtra>();
    std::vector<Run> &runs = target.extra->runs;
    if (!runs.empty() && runs.back().end == entry)
        ++runs.back().end;
    else
        runs.push_back({entry, entry + 1});
}

Id IniFile::Store::FindEntry(Id collection, Id key) const
{
    const Collection &searched = collections[collection];
    const auto indexed = [&searched] { return searched.extra && searched.extra->keyIndex; };
    if (!indexed() && searched.keyCount > searchedKeyCount && ++searched.lookups > lookupsBeforeIndex)
        BuildKeyIndex(searched);
    if (indexed())
        return searched.extra->keyIndex->value(key, noId);
    Id found = noId;
    searched.ForEachEntry([&](Id entry) {
        if (found == noId && entries[entry].key == key)
            found = entry;
    });
    return found;
}

void IniFile::Store::BuildKeyIndex(const Collection &collection) const
{
    if (!collection.extra)
        collection.extra = std::make_unique<CollectionExtra>();
    auto index = std::make_unique<QHash<Id, Id>>();
    index->reserve(collection.keyCount);
    collection.ForEachEntry([&](Id entry) { index->insert(entries[entry].key, entry); });
    collection.extra->keyIndex = std::move(index);
}

Id IniFile::Store::FindCollection(QStringView section) const
{
    if (section.isEmpty())
        return unnamed;
    const Id found = FindSection(section, TextHash(section));
    return found == noId ? noId : sectionCollections[found];
}

Id IniFile::Store::InternKey(QString *pLine, QStringView key, bool bMayTakeOver)
{
    // Metafiles repeat the same keys in the same order section after section, so the key that
    // followed the previous one last time is nearly always the one on this line.
    if (previousKey != noId) {
        const Id guess = keyAfter[previousKey];
        if (guess != noId && SameText(keys[guess], key)) {
            previousKey = guess;
            return guess;
        }
    }
    const quint32 hash = TextHash(key);
    Id id = FindKey(key, hash);
    if (id == noId) {
        id = Id(keys.size());
        keys.push_back(TakeText(pLine, key, bMayTakeOver));
        keyAfter.push_back(noId);
        keyIndex.Insert(id, hash);
    }
    if (previousKey != noId)
        keyAfter[previousKey] = id;
    previousKey = id;
    return id;
}

Id IniFile::Store::AddValue(QString *pLine, QStringView value, bool bMayTakeOver)
{
    if (value.size() > sharedValueLength) {
        strings.emplace_back(TakeText(pLine, value, bMayTakeOver));
        return Id(strings.size() - 1);
    }
    const quint32 hash = TextHash(value);
    const Id found = recentValues.Find(value, hash);
    if (found != noId)
        return found;
    const Id id = Id(shortTexts.size()) | shortValueBit;
    ShortText &text = shortTexts.emplace_back();
    text.size = quint8(value.size());
    std::memcpy(text.text, value.data(), size_t(value.size()) * sizeof(QChar));
    recentValues.Remember(id, value, hash);
    return id;
}

const QString &IniFile::Store::String(Id value) const
{
    if (!(value & shortValueBit))
        return strings[value];
    auto made = shortStrings.find(value);
    if (made == shortStrings.end())
        made = shortStrings.emplace(value, View(value).text.toString()).first;
    return made->second;
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
    return store && store->FindSection(name, TextHash(name)) != noId;
}

int IniFile::FindSection(const QString &name) const
{
    if (!store)
        return -1;
    const Id collection = store->FindCollection(name);
    return collection == noId ? -1 : int(collection);
}

const QString &IniFile::GetValue(const QString &section, const QString &key) const
{
    return GetValue(FindSection(section), key);
}

const QString &IniFile::GetValue(int section, const QString &key) const
{
    return GetValue(section, FindKey(key));
}

int IniFile::FindKey(const QString &key) const
{
    if (!store)
        return -1;
    const Id keyId = store->FindKey(key, TextHash(key));
    return keyId == noId ? -1 : int(keyId);
}

const QString &IniFile::GetValue(int section, int key) const
{
    if (section < 0 || key < 0)
        return defaultValue;
    const Id entry = store->FindEntry(Id(section), Id(key));
    return entry == noId ? defaultValue : store->String(store->entries[entry].value);
}

QStringList IniFile::SectionNames() const
{
    QStringList names;
    if (!store)
        return names;
    names.reserve(qsizetype(store->sectionNames.size()));
    for (const Id name : store->sectionNames)
        names.append(store->View(name).ToString());
    return names;
}

int IniFile::KeyCount(int section) const
{
    return section < 0 ? 0 : int(store->collections[Id(section)].keyCount);
}

QStringView IniFile::GetText(int section, const QString &key) const
{
    return GetText(section, FindKey(key));
}

QStringView IniFile::GetText(int section, int key) const
{
    if (section < 0 || key < 0)
        return {};
    const Id entry = store->FindEntry(Id(section), Id(key));
    return entry == noId ? QStringView() : store->View(store->entries[entry].value).text;
}

void IniFile::ForEachKey(int section,
                         const std::function<void(const QString &, const ValueView &)> &visit) const
{
    if (section < 0)
        return;
    store->collections[Id(section)].ForEachEntry([this, &visit](Id entry) {
        visit(store->keys[store->entries[entry].key], store->View(store->entries[entry].value));
    });
}
