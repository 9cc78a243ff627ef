#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "format/BankHeader.h"
#include "format/EntryListing.h"
#include "format/MetafileWriter.h"

namespace kivo
{
class BinaryFile;
class LookupFile;
class NameTable;
class Warnings;

// An SFX package opened for unpacking: its banks as the bank lookup file places them. Opening
// checks every bank header, so a damaged package is refused before anything is written; only
// the bank locations are kept (headers are read again while unpacking), which keeps memory
// small whatever the files claim.
class SfxPackage
{
public:
    // packages is PakFiles.dat, which gives the package's index by its file name.
    static SfxPackage Open(const std::filesystem::path &packagePath, const LookupFile &lookup, const NameTable &packages,
                           Warnings &warnings);

    const std::string &Name() const { return name; }
    std::size_t BankCount() const { return banks.size(); }

    // The bank headers, read again, in lookup order: what each bank and sound holds.
    std::vector<BankHeader> ReadBanks() const;
    // Open(), with the lookup file at lookupPath and PakFiles.dat beside it, then ReadBanks(); the
    // oddities Open() notes are not reported. Throws FormatError.
    static std::vector<BankHeader> ReadBanks(const std::filesystem::path &packagePath, const std::filesystem::path &lookupPath);

    // Writes targetDirectory/<package file name>/ with Bank_NNN/sound_NNN.wav files and
    // "sfx_import.ini"; the metafile comes last, once every sound is written.
    void Export(const std::filesystem::path &targetDirectory) const;

    // Every sound as Export() writes it, in the order it writes them, each file's bytes read to
    // take its checksum; nothing is written.
    std::vector<ListedEntry> List() const;
    // Writes the one sound named entry (a name as List() gives it) to outputPath exactly as
    // Export() writes it, reading only that sound and the bank headers. Throws FormatError when
    // the package has no such entry.
    void Extract(const std::string &entry, const std::filesystem::path &outputPath) const;

private:
    struct BankLocation
    {
        std::size_t record = 0; // global bank number
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
    };

    // Throws FormatError naming two records of lookup whose banks share bytes.
    void RefuseOverlappingBanks(const LookupFile &lookup) const;
    MetafileWriter ExportBank(std::size_t bank, const std::filesystem::path &folder) const;
    BankHeader ReadBank(BinaryFile &package, std::size_t bank) const;
    // Sound s of bank b, whose header is parsed, as a WAV file at wavPath.
    void WriteSound(BinaryFile &package, std::size_t b, const BankHeader &parsed, std::size_t s,
                    const std::filesystem::path &wavPath) const;
    std::string BankLabel(std::size_t bank) const;

    std::filesystem::path path;
    std::string name;
    unsigned index = 0;
    std::vector<BankLocation> banks;
};
}
