#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace kivo
{
// One bank or sound that packing made larger: its size before and after, in bytes.
struct Growth
{
    std::uint32_t before = 0;
    std::uint32_t after = 0;
};

class BankHeader;

// The banks and sounds of `after` that are larger than in `before`, the same package's banks as
// they were: what a save grows the slots for.
std::vector<Growth> GrowthsOf(const std::vector<BankHeader> &before, const std::vector<BankHeader> &after);

// BankSlot.dat: the slots the game carves out of one sound buffer at start, each holding a whole
// bank or a single sound of one. A bank or sound larger than its slot overruns the next one.
// Keeps the file's bytes, so only the sizes and the offsets that follow from them ever change.
class BankSlotFile
{
public:
    static constexpr std::size_t RecordSize = 4820;

    // Throws FormatError unless the file is a slot count of at least 1 and that many records.
    static BankSlotFile Load(const std::filesystem::path &path);

    const std::filesystem::path &Path() const { return path; }
    const std::vector<unsigned char> &Bytes() const { return bytes; }
    std::size_t Count() const { return (bytes.size() - 2) / RecordSize; }
    std::uint32_t SlotSize(std::size_t slot) const;
    // The size of the one buffer the game allocates: all slots together.
    std::uint64_t BufferSize() const;

    // Which slot the game loads a bank or sound into is decided in its code, not in any file; it
    // was one large enough for the old size. So every slot at least as large as a growth's old
    // size (as the file was loaded) grows to its new size; none shrinks. Offsets are recomputed
    // as running sums, as the game does at load. Returns how many slots grew; throws FormatError
    // when the buffer would pass 4 GiB.
    std::size_t Grow(const std::vector<Growth> &growths);

    // Keeps the file as it was loaded as "<file>.bak", then puts the grown one in its place in a
    // single rename. Nothing is written when nothing grew.
    void Replace() const;

private:
    unsigned char *Record(std::size_t slot) { return bytes.data() + 2 + slot * RecordSize; }
    const unsigned char *Record(std::size_t slot) const { return bytes.data() + 2 + slot * RecordSize; }

    std::filesystem::path path;
    std::vector<unsigned char> original;
    std::vector<unsigned char> bytes;
};
}
