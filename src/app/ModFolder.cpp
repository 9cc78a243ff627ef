#include "app/ModFolder.h"

#include <QMap>
#include <QStringList>

#include <limits>
#include <vector>

namespace
{
constexpr qsizetype slotRecordSize = 4820;
constexpr qsizetype slotSizeOffset = 4;

quint32 ReadU32(const QByteArray &bytes, qsizetype at)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + at;
    return quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16 | quint32(data[3]) << 24;
}

void WriteU32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xff);
}

// The number of slot records; throws when the size does not fit it.
qsizetype SlotCount(const QByteArray &table)
{
    const qsizetype count = table.size() >= 2 ? qsizetype(uchar(table[0]) | uchar(table[1]) << 8) : 0;
    if (count == 0 || table.size() != 2 + count * slotRecordSize)
        throw QStringLiteral("BankSlot.dat is damaged: %1 bytes do not hold the %2 slots it counts.")
            .arg(table.size())
            .arg(count);
    return count;
}

const QString title = QStringLiteral("== %1 ==");
const QString readmeStart = QStringLiteral("Audio changes made with RozivOze;");

bool IsTitle(const QString &line)
{
    return line.startsWith(QLatin1String("== ")) && line.endsWith(QLatin1String(" ==")) && line.size() > 6;
}

// The lines of each archive's block in a README, by archive name.
QMap<QString, QStringList> Blocks(const QString &readme)
{
    QMap<QString, QStringList> blocks;
    QString current;
    for (const QString &line : readme.split(QLatin1Char('\n'))) {
        if (IsTitle(line))
            current = line.mid(3, line.size() - 6);
        else if (!current.isEmpty() && !line.trimmed().isEmpty())
            blocks[current] << line;
    }
    return blocks;
}
}

namespace ModFolder
{
QByteArray GrowBankSlots(QByteArray table, const QList<Growth> &growths)
{
    const qsizetype count = SlotCount(table);
    std::vector<quint32> sizes(static_cast<size_t>(count));
    for (qsizetype slot = 0; slot < count; ++slot)
        sizes[size_t(slot)] = ReadU32(table, 2 + slot * slotRecordSize + slotSizeOffset);
    // Each slot is judged by the size it had: a slot grown for one change never held what
    // another change's old size was, since the game chose it for the smaller size.
    bool bGrewAny = false;
    for (quint32 &size : sizes) {
        const quint32 before = size;
        for (const Growth &growth : growths) {
            if (before >= growth.oldSize && growth.newSize > size) {
                size = growth.newSize;
                bGrewAny = true;
            }
        }
    }
    if (!bGrewAny)
        return table;
    quint64 offset = 0;
    for (qsizetype slot = 0; slot < count; ++slot) {
        const qsizetype record = 2 + slot * slotRecordSize;
        WriteU32(table, record, quint32(offset));
        WriteU32(table, record + slotSizeOffset, sizes[size_t(slot)]);
        offset += sizes[size_t(slot)];
        if (offset > std::numeric_limits<quint32>::max())
            throw QStringLiteral("The grown sound buffers would need more than 4 GiB.");
    }
    return table;
}

quint64 BankSlotTotal(const QByteArray &table)
{
    quint64 total = 0;
    const qsizetype count = SlotCount(table);
    for (qsizetype slot = 0; slot < count; ++slot)
        total += ReadU32(table, 2 + slot * slotRecordSize + slotSizeOffset);
    return total;
}

bool IsOwnReadme(const QString &text)
{
    return text.startsWith(readmeStart);
}

QStringList ReadmeEntries(const QString &readme, const QString &archiveName)
{
    QStringList names;
    for (const QString &line : Blocks(readme).value(archiveName))
        names << line.left(line.indexOf(QLatin1String(": ")));
    return names;
}

QString MergeReadme(const QString &existing, const QString &archiveName, const QStringList &entries)
{
    QMap<QString, QStringList> blocks = Blocks(existing);
    blocks[archiveName] = entries;
    QString text = readmeStart + QStringLiteral(
        " nothing in the game folder was changed.\n\n"
        "A folder named like an SFX package holds its changed sounds as Bank_NNN/sound_NNN.wav (mono,\n"
        "16-bit PCM), the layout runtime mod loaders read. A stream archive lies here whole, packed, beside\n"
        "the TrakLkup.dat that belongs to it. BankSlot.dat, when present, makes room in the game's sound\n"
        "buffers for sounds longer than their originals.\n");
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it)
        text += QLatin1Char('\n') + title.arg(it.key()) + QLatin1Char('\n') + it.value().join(QLatin1Char('\n'))
              + QLatin1Char('\n');
    return text;
}
}
