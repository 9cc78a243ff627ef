#pragma once
#include <filesystem>
#include <string>

namespace kivo
{
// One thing a check of the game's archives found, as a value the tools print and the program
// can show in a row of its own.
struct CheckFinding
{
    enum class Kind {
        RecordOutside,    // a lookup record places a bank or track beyond its archive's end
        ArchiveShort,     // the archive ends before its banks or tracks do: a cut-off copy
        BanksOverlap,     // two lookup records share bytes of one package
        HeaderRefused,    // a bank or track header the toolkit would refuse
        Empty,            // an archive or bank with nothing where sounds should be
        ZeroFilled,       // zeros where a bank, a track or a whole archive should be
        SlotsMissing,     // no BankSlot.dat beside the lookup file
        SlotsDamaged,     // a BankSlot.dat the game cannot load its sound buffers from
        LargerThanSlots,  // a bank larger than every sound buffer slot
        GrownPastSlot,    // a bank or sound grown since the kept original, its slot not with it
        VorbisHeaders,    // a track whose Vorbis headers do not parse
        Journal,          // an interrupted save, or a journal the repair refuses
        PackedByHand,     // "<archive>.new" that the lookup file describes, not yet in place
        Leftover,         // files a cut-off run left behind
        CouldNotCheck,    // a file the check needs cannot be read: the check is incomplete
    };

    Kind kind = Kind::CouldNotCheck;
    std::filesystem::path archive; // the archive, or the file beside it that the finding is about
    std::string where;             // "bank 3 (lookup record 12), sound 2", "track 5 ..."; may be empty
    std::string text;              // what is wrong and what it means for the game

    // "<archive file name>[, <where>]: <text>"
    std::string Line() const
    {
        return archive.filename().string() + (where.empty() ? "" : ", " + where) + ": " + text;
    }
};
}
