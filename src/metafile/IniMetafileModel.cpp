#include "metafile/IniMetafileModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QIcon>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "metafile/IniFile.h"
#include "metafile/IniMetafileItem.h"

namespace {

// Blue, far from the orange mark and the tree's red, and dark enough to read on white.
const QColor notSavedColour(0x1f, 0x4e, 0xb4);

const QString failedToLoad = QStringLiteral("Failed to load ini-file.");
const QString invalidFormat = QStringLiteral("Invalid ini-fileformat.");

const QString archiveSection = QStringLiteral("Archive");
const QString streamSection = QStringLiteral("Stream");
const QString bankPrefix = QStringLiteral("Bank_");
const QString trackPrefix = QStringLiteral("Track_");
const QString soundPrefix = QStringLiteral("sound_");
const QString basenameKey = QStringLiteral("basename");
const QString lookupIndexKey = QStringLiteral("lookup_index");
const QString numBanksKey = QStringLiteral("num_banks");
const QString numSoundsKey = QStringLiteral("num_sounds");
const QString numTracksKey = QStringLiteral("num_tracks");
const QString beatTotalKey = QStringLiteral("beat_total");
const QString filenameKey = QStringLiteral("filename");
const QString lengthExtraKey = QStringLiteral("length_extra");
const QString lengthIndexKey = QStringLiteral("length_index");

// Above this a sound count is not believed blindly: it still says which numbers may exist, but the
// keys of the bank decide how far the list goes (see ReadSounds).
constexpr qint32 believedSoundCount = 100000;

// A decimal integer with an optional sign that fits 32 bits; anything else counts as 0.
qint32 ToInt(QStringView text)
{
    qsizetype i = 0;
    const bool bNegative = !text.isEmpty() && text[0] == QLatin1Char('-');
    if (!text.isEmpty() && (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')))
        ++i;
    if (i == text.size())
        return 0;
    const qint64 limit = bNegative ? qint64(1) << 31 : (qint64(1) << 31) - 1;
    qint64 number = 0;
    for (; i < text.size(); ++i) {
        const char16_t digit = text[i].unicode();
        if (digit < u'0' || digit > u'9')
            return 0;
        number = number * 10 + (digit - u'0');
        if (number > limit)
            return 0;
    }
    return qint32(bNegative ? -number : number);
}

bool IsZero(QStringView text)
{
    return text == u"0" || text == u"-0" || text == u"+0";
}

// Replaces what follows the first prefixLength characters of name by number in decimal, padded
// with "0" to at least three digits: 7 -> "007", 1000 -> "1000". Reuses name's buffer.
void SetPaddedNumber(QString &name, qsizetype prefixLength, qint64 number)
{
    char16_t digits[24];
    qsizetype count = 0;
    for (; number > 0 || count < 3; number /= 10)
        digits[count++] = char16_t(u'0' + number % 10);
    std::reverse(digits, digits + count);
    name.truncate(prefixLength);
    name.append(QStringView(digits, count));
}

// The number whose padded form digits is, or 0 when digits is no such form: "007" and "1000" are,
// "7", "0007" and "000" are not. A name that is no padded form can never be looked up by number.
qint32 PaddedFormNumber(QStringView digits)
{
    if (digits.size() < 3 || (digits.size() > 3 && digits[0] == QLatin1Char('0')))
        return 0;
    if (digits[0] == QLatin1Char('+') || digits[0] == QLatin1Char('-'))
        return 0;
    return std::max(ToInt(digits), 0);
}

enum class SoundField { Filename, SampleRate, Unknown16, LoopOffset, Other };

struct SoundKey
{
    qint32 number = 0;
    SoundField field = SoundField::Other;
    QStringView value;
};

// Splits "sound_012.sample_rate" into 12 and its field; number 0 for keys of no sound.
SoundKey ParseSoundKey(QStringView key)
{
    SoundKey parsed;
    if (!key.startsWith(soundPrefix))
        return parsed;
    const QStringView rest = key.sliced(soundPrefix.size());
    const qsizetype dot = rest.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return parsed;
    parsed.number = PaddedFormNumber(rest.first(dot));
    const QStringView field = rest.sliced(dot + 1);
    if (field == u"filename")
        parsed.field = SoundField::Filename;
    else if (field == u"sample_rate")
        parsed.field = SoundField::SampleRate;
    else if (field == u"unknown_16")
        parsed.field = SoundField::Unknown16;
    else if (field == u"loop_offset")
        parsed.field = SoundField::LoopOffset;
    return parsed;
}

// The bank sections that bank numbers 1 to bankCount name, in number order. Only sections that
// exist can give a row, so they are looked for among the stored names rather than by number.
std::vector<std::pair<qint32, QString>> BankSections(const IniFile &ini, qint32 bankCount)
{
    std::vector<std::pair<qint32, QString>> banks;
    const QStringList names = ini.SectionNames();
    for (const QString &section : names) {
        if (!section.startsWith(bankPrefix))
            continue;
        const qint32 number = PaddedFormNumber(QStringView(section).sliced(bankPrefix.size()));
        if (number >= 1 && number <= bankCount)
            banks.emplace_back(number, section);
    }
    std::sort(banks.begin(), banks.end(),
              [](const auto &first, const auto &second) { return first.first < second.first; });
    return banks;
}

std::unique_ptr<IniMetafileItem> NewItem()
{
    return std::make_unique<IniMetafileItem>();
}

} // namespace

IniMetafileModel::IniMetafileModel(ArchiveType type, const QString &iniFilepath,
                                   const QMap<QString, QString> &streamNames)
    : type(type), rootItem(new IniMetafileItem)
{
    try {
        if (type == SFX)
            ReadSfxMetafile(iniFilepath);
        else if (type == STREAM)
            ReadStreamMetafile(iniFilepath, streamNames);
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        delete rootItem;
        throw;
    }
}

IniMetafileModel::~IniMetafileModel()
{
    delete rootItem;
}

IniMetafileModel::ArchiveType IniMetafileModel::GetType() const
{
    return type;
}

const QString &IniMetafileModel::GetName() const
{
    return name;
}

const QString &IniMetafileModel::GetBasename() const
{
    return basename;
}

qint32 IniMetafileModel::GetLookupIndex() const
{
    return lookupIndex;
}

IniMetafileItem *IniMetafileModel::ItemOf(const QModelIndex &index)
{
    return static_cast<IniMetafileItem *>(index.internalPointer());
}

QModelIndex IniMetafileModel::index(int row, int column, const QModelIndex &parent) const
{
    const IniMetafileItem *parentItem = parent.isValid() ? ItemOf(parent) : rootItem;
    if (!parentItem || row < 0 || row >= parentItem->ChildCount())
        return {};
    IniMetafileItem *child = parentItem->Child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex IniMetafileModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    IniMetafileItem *parentItem = ItemOf(index)->GetParent();
    if (!parentItem || parentItem == rootItem)
        return {};
    return createIndex(parentItem->Row(), 0, parentItem);
}

int IniMetafileModel::rowCount(const QModelIndex &parent) const
{
    const IniMetafileItem *item = parent.isValid() ? ItemOf(parent) : rootItem;
    return item ? item->ChildCount() : 0;
}

int IniMetafileModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant IniMetafileModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const IniMetafileItem *item = ItemOf(index);
    const bool bMarked = item->bChanged || item->changedChildren > 0;
    const bool bNotSaved = item->bNotSaved || item->notSavedChildren > 0;
    switch (role) {
    case Qt::DisplayRole:
        // Searching and every command go by the name itself, never by this text.
        if (item->notSavedChildren > 0)
            return item->GetName()
                 + QStringLiteral("  (%1 changed, %2 not saved)").arg(item->changedChildren).arg(item->notSavedChildren);
        return item->changedChildren > 0
                 ? item->GetName() + QStringLiteral("  (%1 changed)").arg(item->changedChildren)
                 : item->GetName();
    case Qt::FontRole:
        if (bMarked || bNotSaved) {
            QFont font;
            font.setBold(bMarked);
            font.setItalic(bNotSaved);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        return bNotSaved ? QBrush(notSavedColour) : QVariant();
    case Qt::ToolTipRole:
        return bNotSaved ? QStringLiteral("Not saved into the game yet") : QVariant();
    case Qt::DecorationRole:
        return item->bChanged ? QIcon(QStringLiteral(":/changed")) : QVariant();
    default:
        return {};
    }
}

void IniMetafileModel::SetChangedEntries(const QSet<QString> &entryNames, const QSet<QString> &notSavedNames)
{
    // The usual case on every load: nothing changed before or now, so no row needs a look.
    if (entryNames.isEmpty() && notSavedNames.isEmpty() && changedCount == 0 && notSavedCount == 0)
        return;
    changedCount = 0;
    notSavedCount = 0;
    const auto mark = [&](IniMetafileItem *pItem) {
        const QString name = QString(pItem->name).replace(QLatin1Char('\\'), QLatin1Char('/'));
        const bool bChanged = entryNames.contains(name);
        const bool bNotSaved = notSavedNames.contains(name);
        changedCount += bChanged ? 1 : 0;
        notSavedCount += bNotSaved ? 1 : 0;
        const bool bChangedBefore = std::exchange(pItem->bChanged, bChanged);
        return std::exchange(pItem->bNotSaved, bNotSaved) != bNotSaved || bChangedBefore != bChanged;
    };
    for (int row = 0; row < rootItem->ChildCount(); ++row) {
        IniMetafileItem *top = rootItem->Child(row);
        const QModelIndex topIndex = createIndex(row, 0, top);
        if (type == STREAM) {
            if (mark(top))
                emit dataChanged(topIndex, topIndex);
            continue;
        }
        qint32 changedChildren = 0, notSavedChildren = 0;
        int first = -1, last = -1;
        for (int child = 0; child < top->ChildCount(); ++child) {
            if (mark(top->Child(child))) {
                first = first < 0 ? child : first;
                last = child;
            }
            changedChildren += top->Child(child)->bChanged ? 1 : 0;
            notSavedChildren += top->Child(child)->bNotSaved ? 1 : 0;
        }
        if (first >= 0)
            emit dataChanged(index(first, 0, topIndex), index(last, 0, topIndex));
        const bool bCountsMoved = std::exchange(top->changedChildren, changedChildren) != changedChildren;
        if (std::exchange(top->notSavedChildren, notSavedChildren) != notSavedChildren || bCountsMoved)
            emit dataChanged(topIndex, topIndex);
    }
}

int IniMetafileModel::EntryCount() const
{
    if (type == STREAM)
        return rootItem->ChildCount();
    int count = 0;
    for (int row = 0; row < rootItem->ChildCount(); ++row)
        count += rootItem->Child(row)->ChildCount();
    return count;
}

QVariant IniMetafileModel::headerData(int, Qt::Orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return QStringLiteral("File");
}

Qt::ItemFlags IniMetafileModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

void IniMetafileModel::SetLoopOffset(const QModelIndex &index, qint32 frame)
{
    if (IniMetafileItem *item = ItemOf(index); item && index.model() == this) {
        item->loopOffset = frame;
        emit dataChanged(index, index);
    }
}

void IniMetafileModel::ReadSfxMetafile(const QString &iniFilepath)
{
    IniFile ini;
    if (!ini.Load(iniFilepath))
        throw failedToLoad;
    if (!ini.HasSection(archiveSection))
        throw invalidFormat;
    const IniFile::Section &archive = *ini.FindSection(archiveSection);
    name = archive.value(basenameKey).toString();
    lookupIndex = ToInt(archive.value(lookupIndexKey));
    const qint32 bankCount = ToInt(archive.value(numBanksKey));
    // Without this, a few kilobytes of banks that each claim 99,999 sounds would ask for
    // gigabytes of empty rows.
    qint64 keylessRowsLeft = believedSoundCount;
    for (const auto &[number, section] : BankSections(ini, bankCount)) {
        const IniFile::Section &bankSection = *ini.FindSection(section);
        const qint32 soundCount = ToInt(bankSection.value(numSoundsKey));
        if (soundCount <= 0)
            continue;
        auto bank = NewItem();
        bank->name = section;
        ReadSounds(bankSection, soundCount, keylessRowsLeft, bank.get());
        rootItem->AppendChild(bank.release());
    }
}

void IniMetafileModel::ReadSounds(const IniFile::Section &section, qint32 soundCount, qint64 &keylessRowsLeft,
                                  IniMetafileItem *pBank)
{
    const auto setField = [](IniMetafileItem *pSound, const SoundKey &soundKey) {
        switch (soundKey.field) {
        case SoundField::Filename:
            pSound->name = soundKey.value.toString();
            break;
        case SoundField::SampleRate:
            pSound->sampleRate = ToInt(soundKey.value);
            break;
        case SoundField::Unknown16:
            pSound->unknown16 = ToInt(soundKey.value);
            break;
        case SoundField::LoopOffset: {
            // ToInt reads garbage as 0, which would mark a loop at the very start.
            const qint32 offset = ToInt(soundKey.value);
            pSound->loopOffset = offset != 0 || IsZero(soundKey.value) ? offset : -1;
            break;
        }
        case SoundField::Other:
            break;
        }
    };
    std::vector<SoundKey> soundKeys;
    soundKeys.reserve(size_t(section.size()));
    qint32 highestKeyed = 0;
    for (const IniFile::Entry &entry : section) {
        SoundKey parsed = ParseSoundKey(entry.key);
        if (parsed.number < 1 || parsed.number > soundCount)
            continue;
        parsed.value = entry.value;
        highestKeyed = std::max(highestKeyed, parsed.number);
        soundKeys.push_back(parsed);
    }

    // Every number up to a believed count gets a row, keys or not; a larger count runs only to the
    // highest sound with a key, and past the believed count only sounds with keys get a row.
    qint32 listedInFull = soundCount <= believedSoundCount
        ? soundCount : std::min(highestKeyed, believedSoundCount);
    std::vector<bool> keyed(size_t(listedInFull) + 1);
    qint64 keylessRows = listedInFull;
    for (const SoundKey &soundKey : soundKeys) {
        if (soundKey.number <= listedInFull && !keyed[size_t(soundKey.number)]) {
            keyed[size_t(soundKey.number)] = true;
            --keylessRows;
        }
    }
    if (keylessRows > keylessRowsLeft)
        listedInFull = 0;
    else
        keylessRowsLeft -= keylessRows;
    std::vector<std::unique_ptr<IniMetafileItem>> sounds(static_cast<size_t>(listedInFull));
    for (auto &sound : sounds)
        sound = NewItem();
    std::vector<SoundKey> beyond;
    for (const SoundKey &soundKey : soundKeys) {
        if (soundKey.number <= listedInFull)
            setField(sounds[size_t(soundKey.number - 1)].get(), soundKey);
        else
            beyond.push_back(soundKey);
    }
    std::sort(beyond.begin(), beyond.end(),
              [](const SoundKey &first, const SoundKey &second) { return first.number < second.number; });
    std::vector<std::unique_ptr<IniMetafileItem>> keyedBeyond;
    qint32 lastNumber = 0;
    for (const SoundKey &soundKey : beyond) {
        if (soundKey.number != lastNumber)
            keyedBeyond.push_back(NewItem());
        lastNumber = soundKey.number;
        setField(keyedBeyond.back().get(), soundKey);
    }

    pBank->children.reserve(qsizetype(sounds.size() + keyedBeyond.size()));
    for (auto &sound : sounds)
        pBank->AppendChild(sound.release());
    for (auto &sound : keyedBeyond)
        pBank->AppendChild(sound.release());
}

void IniMetafileModel::ReadStreamMetafile(const QString &iniFilepath,
                                          const QMap<QString, QString> &streamNames)
{
    IniFile ini;
    if (!ini.Load(iniFilepath))
        throw failedToLoad;
    const IniFile::Section *stream = ini.FindSection(streamSection);
    if (!stream)
        return;
    const qint32 trackCount = ToInt(stream->value(numTracksKey));
    basename = stream->value(basenameKey).toString();
    const auto station = streamNames.constFind(basename);
    name = station != streamNames.constEnd() ? station.value() : basename;
    lookupIndex = ToInt(stream->value(lookupIndexKey));
    // The first missing section ends the list, so a huge count costs no more than the file holds.
    QString sectionName = trackPrefix;
    for (qint64 number = 1; number <= trackCount; ++number) {
        SetPaddedNumber(sectionName, trackPrefix.size(), number);
        const IniFile::Section *section = ini.FindSection(sectionName);
        if (!section)
            break;
        auto track = NewItem();
        track->beatTotal = ToInt(section->value(beatTotalKey));
        track->name = section->value(filenameKey).toString();
        track->lengthExtra = ToInt(section->value(lengthExtraKey));
        track->lengthIndex = ToInt(section->value(lengthIndexKey));
        rootItem->AppendChild(track.release());
    }
}
