#include "format/BankSlotFile.h"

#include <algorithm>
#include <limits>
#include <string>

#include "format/AtomicFile.h"
#include "format/BankHeader.h"
#include "format/BinaryFile.h"
#include "format/FormatError.h"
#include "format/LittleEndian.h"

namespace kivo
{
namespace
{
constexpr std::size_t offsetField = 0;
constexpr std::size_t sizeField = 4;
}

std::vector<Growth> GrowthsOf(const std::vector<BankHeader> &before, const std::vector<BankHeader> &after)
{
    std::vector<Growth> growths;
    const auto note = [&growths](std::uint32_t old, std::uint32_t now) {
        if (now > old)
            growths.push_back({old, now});
    };
    for (std::size_t b = 0; b < std::min(before.size(), after.size()); ++b) {
        note(before[b].pcmSize, after[b].pcmSize);
        for (std::size_t s = 0; s < std::min(before[b].sounds.size(), after[b].sounds.size()); ++s)
            note(before[b].SoundBytes(s), after[b].SoundBytes(s));
    }
    return growths;
}

BankSlotFile BankSlotFile::Load(const std::filesystem::path &filePath)
{
    BinaryFile file(filePath, BinaryFile::Mode::Read);
    const std::string where = filePath.filename().string();
    unsigned char count[2] = {};
    if (file.Size() >= sizeof count)
        file.ReadAt(0, count, sizeof count);
    const std::uint64_t expected = 2 + std::uint64_t(le::U16(count)) * RecordSize;
    if (le::U16(count) == 0 || file.Size() != expected)
        throw FormatError(where + " is " + std::to_string(file.Size()) + " bytes, not a slot count and "
                          + std::to_string(le::U16(count)) + " slots of " + std::to_string(RecordSize)
                          + " bytes; the game could not load its sound buffers from it");

    BankSlotFile slots;
    slots.path = filePath;
    slots.bytes.resize(static_cast<std::size_t>(file.Size()));
    file.ReadAt(0, slots.bytes.data(), slots.bytes.size());
    slots.original = slots.bytes;
    return slots;
}

std::uint32_t BankSlotFile::SlotSize(std::size_t slot) const
{
    return le::U32(Record(slot) + sizeField);
}

std::uint64_t BankSlotFile::BufferSize() const
{
    std::uint64_t total = 0;
    for (std::size_t slot = 0; slot < Count(); ++slot)
        total += SlotSize(slot);
    return total;
}

std::size_t BankSlotFile::Grow(const std::vector<Growth> &growths)
{
    std::size_t grown = 0;
    for (std::size_t slot = 0; slot < Count(); ++slot) {
        const std::uint32_t loaded = le::U32(original.data() + 2 + slot * RecordSize + sizeField);
        std::uint32_t size = SlotSize(slot);
        for (const Growth &growth : growths)
            if (loaded >= growth.before)
                size = std::max(size, growth.after);
        if (size == SlotSize(slot))
            continue;
        le::PutU32(Record(slot) + sizeField, size);
        ++grown;
    }
    if (grown == 0)
        return 0;
    if (BufferSize() > std::numeric_limits<std::uint32_t>::max())
        throw FormatError(path.filename().string() + " would need a sound buffer beyond 4 GiB to hold the grown sounds");
    std::uint32_t offset = 0;
    for (std::size_t slot = 0; slot < Count(); ++slot) {
        le::PutU32(Record(slot) + offsetField, offset);
        offset += SlotSize(slot);
    }
    return grown;
}

void BankSlotFile::Replace() const
{
    if (bytes == original)
        return;
    AtomicFile updated(path, AtomicFile::Durability::Synced);
    updated.File().Write(bytes.data(), bytes.size());

    std::filesystem::path backupPath = path;
    backupPath += ".bak";
    AtomicFile backup(backupPath, AtomicFile::Durability::Synced);
    backup.File().Write(original.data(), original.size());
    backup.Commit();
    updated.Commit();
}
}
