#include "metafile/IniFile.h"

#include <QFile>
#include <QHash>
#include <QTextStream>
#include <QVarLengthArray>

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

// Lines are read in pieces of at most this many characters and joined: asked for a whole line,
// the text stream would buffer an enormous one beside the copy it hands out.
constexpr qint64 linePiece = 1 << 16;

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
        if ((count + 1) * 4 > table.size() * 3)
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

// A piece shorter than linePiece ends its line; a full one may be followed by more (or by an
// empty piece when the line was exactly that long).
bool ReadLine(QTextStream &stream, QString &line, QString &piece)
{
    if (!stream.readLineInto(&line, linePiece))
        return false;
    bool bMaybeMore = line.size() == linePiece;
    while (bMaybeMore && stream.readLineInto(&piece, linePiece)) {
        line += piece;
        bMaybeMore = piece.size() == linePiece;
    }
    return true;
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
};

} // namespace

struct IniFile::Store
{
    std::vector<QString> keys;          // each distinct key once
    TextIndex keyIndex;
    std::vector<QString> values;        // short values once, long values as they come
    TextIndex sharedValueIndex;
    std::vector<Entry> entries;
    std::vector<Id> entrySlots;         // open addressing over (collection, key)
    size_t entrySlotMask = 0;
    int entrySlotShift = 64;
    std::vector<Collection> collections;
    QHash<QString, Id> sections;        // stored section name -> collection
    Id unnamed = noId;

    void Read(QTextStream &stream);
    Id NewCollection();
    void StoreCollection(const QString &name, Id collection);
    void SetValue(Id collection, Id key, Id value);
    Id FindEntry(Id collection, Id key) const;
    Id FindCollection(const QString &section) const;
    Id InternKey(QString &line, QStringView key, bool bMayTakeOver);
    Id AddValue(QString &line, QStringView value, bool bMayTakeOver);

private:
    size_t EntrySlotOf(Id collection, Id key) const
    {
        return size_t(((quint64(collection) << 32 | key) * fibonacciFactor) >> entrySlotShift);
    }
    void PlaceEntry(Id entry);
    void GrowEntrySlots();
};

void IniFile::Store::Read(QTextStream &stream)
{
    Id current = NewCollection();
    QString currentName;
    bool headerSeen = false;
    QString line;
    QString piece;
    while (ReadLine(stream, line, piece)) {
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
            SetValue(current, keyId, AddValue(line, value, true));
        } else {
            const Id valueId = AddValue(line, value, false);
            SetValue(current, InternKey(line, key, true), valueId);
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
    // The entries merged away stay behind unreachable: repeated sections are rare and a copy of
    // the runs would cost more than it saves.
    const Id target = stored.value();
    for (const Collection::Run &run : collections[collection].runs) {
        for (Id entry = run.begin; entry < run.end; ++entry)
            SetValue(target, entries[entry].key, entries[entry].value);
    }
}

void IniFile::Store::SetValue(Id collection, Id key, Id value)
{
    const Id existing = FindEntry(collection, key);
    if (existing != noId) {
        entries[existing].value = value;
        return;
    }
    const Id entry = Id(entries.size());
    entries.push_back({collection, key, value});
    Collection &target = collections[collection];
    if (!target.runs.isEmpty() && target.runs.last().end == entry)
        ++target.runs.last().end;
    else
        target.runs.append({entry, entry + 1});
    ++target.keyCount;
    if ((entries.size() + 1) * 4 > entrySlots.size() * 3)
        GrowEntrySlots();
    else
        PlaceEntry(entry);
}

Id IniFile::Store::FindEntry(Id collection, Id key) const
{
    if (entrySlots.empty())
        return noId;
    for (size_t i = EntrySlotOf(collection, key);; i = (i + 1) & entrySlotMask) {
        const Id entry = entrySlots[i];
        if (entry == noId)
            return noId;
        if (entries[entry].collection == collection && entries[entry].key == key)
            return entry;
    }
}

Id IniFile::Store::FindCollection(const QString &section) const
{
    if (section.isEmpty())
        return unnamed;
    return sections.value(section, noId);
}

void IniFile::Store::PlaceEntry(Id entry)
{
    size_t i = EntrySlotOf(entries[entry].collection, entries[entry].key);
    while (entrySlots[i] != noId)
        i = (i + 1) & entrySlotMask;
    entrySlots[i] = entry;
}

void IniFile::Store::GrowEntrySlots()
{
    const size_t size = entrySlots.empty() ? 256 : entrySlots.size() * 2;
    entrySlots.assign(size, noId);
    entrySlotMask = size - 1;
    entrySlotShift = 64 - qCountTrailingZeroBits(quint64(size));
    for (Id entry = 0; entry < entries.size(); ++entry)
        PlaceEntry(entry);
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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    auto loaded = std::make_unique<Store>();
    QTextStream stream(&file);
    loaded->Read(stream);
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
