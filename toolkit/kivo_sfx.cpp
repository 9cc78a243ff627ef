// kivo_sfx.exe: unpacks SFX packages into WAV files and a metafile, and packs them back.
//   kivo_sfx.exe -e <package>... <target directory> <BankLkup.dat>
//   kivo_sfx.exe -i <new package> <sfx_import.ini> <BankLkup.dat>
//   kivo_sfx.exe -l <package> <BankLkup.dat>
//   kivo_sfx.exe -x <package> <entry> <output file> <BankLkup.dat>
#include <filesystem>
#include <string>
#include <vector>

#include "format/EntryListing.h"
#include "format/FormatError.h"
#include "format/GameCheck.h"
#include "format/LookupFile.h"
#include "format/Naming.h"
#include "format/NameTable.h"
#include "format/PathCase.h"
#include "format/SaveJournal.h"
#include "format/SfxImport.h"
#include "format/SfxPackage.h"
#include "format/ToolRunner.h"
#include "format/Warnings.h"

namespace
{
const char *const usage = "kivo_sfx.exe -e <package>... <target directory> <BankLkup.dat> | "
                          "kivo_sfx.exe -i <new package> <sfx_import.ini> <BankLkup.dat> | "
                          "kivo_sfx.exe -l <package> <BankLkup.dat> | "
                          "kivo_sfx.exe -x <package> <entry> <output file> <BankLkup.dat> | "
                          "kivo_sfx.exe -c <package>... <BankLkup.dat>";

const char *const help =
    "Usage: kivo_sfx.exe -e <package>... <target directory> <BankLkup.dat>\n"
    "       kivo_sfx.exe -i <new package> <sfx_import.ini> <BankLkup.dat>\n"
    "       kivo_sfx.exe -l <package> <BankLkup.dat>\n"
    "       kivo_sfx.exe -x <package> <entry> <output file> <BankLkup.dat>\n"
    "       kivo_sfx.exe -c <package>... <BankLkup.dat>\n"
    "Unpacks SFX packages into <target directory>/<package>/ (WAV files and sfx_import.ini),\n"
    "or packs such a folder into <new package> and rewrites the bank lookup file, keeping the\n"
    "previous one as <BankLkup.dat>.bak. PakFiles.dat must lie beside the lookup file.\n"
    "Packed into the archive itself, the new one is written beside it and then takes its place\n"
    "under a journal, as a save does. The new archive's size and checksum go to standard output.\n"
    "A missing <target directory> is made when the folder it lies in exists.\n"
    "-l lists the package's sounds without unpacking, one line each, fields separated by tabs:\n"
    "the file name -e writes (Bank_001/sound_002.wav), the size in bytes of that WAV file, a\n"
    "checksum of its bytes (16 hexadecimal digits) and the sound's loop start (-1: none).\n"
    "-x writes the one sound <entry> (a name as -l prints it) to <output file>, exactly as -e\n"
    "writes it; the file appears only once it is complete.\n"
    "Names are matched ignoring case where the exact one does not exist.\n"
    "On failure: exit code 1 and one line on standard error.\n"
    "With -c, checks the packages against <BankLkup.dat> and what lies beside them, writing nothing:\n"
    "one line per finding on standard output; exit code 0 when all is well, 1 when\n"
    "something was found, 2 when the check could not run (its reason on standard error).\n";

// Every check unpacking makes on the tables beside the lookup file, and on the package.
kivo::SfxPackage OpenPackage(const std::filesystem::path &package, const std::filesystem::path &lookupPath,
                             kivo::Warnings &warnings)
{
    kivo::LookupFile::RefuseOtherKind(lookupPath, "TrakLkup.dat");
    const kivo::LookupFile lookup = kivo::LookupFile::Load(lookupPath);
    const std::filesystem::path pakFiles = kivo::ResolvePathCase(lookupPath.parent_path() / "PakFiles.dat");
    std::error_code error;
    if (!std::filesystem::exists(pakFiles, error))
        throw kivo::FormatError("PakFiles.dat was not found beside " + lookupPath.string()
                                + "; it is needed to find a package's banks");
    const kivo::NameTable names = kivo::NameTable::Load(pakFiles, kivo::NameTable::PackageRecordSize);
    return kivo::SfxPackage::Open(package, lookup, names, warnings);
}

void Export(const std::vector<std::filesystem::path> &packages, const std::filesystem::path &target,
            const std::filesystem::path &lookupPath, kivo::Warnings &warnings)
{
    kivo::CheckTargetFolder(target);
    // Every package is checked before the first is unpacked.
    std::vector<kivo::SfxPackage> opened;
    for (const auto &package : packages)
        opened.push_back(OpenPackage(package, lookupPath, warnings));
    for (const auto &package : opened)
        package.Export(target);
}
}

int main(int argc, char *argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (kivo::AnswerInformationRequest(args, "kivo_sfx.exe", help))
        return 0;
    if (args.size() == 4 && args[0] == "-i")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::filesystem::path metafilePath = kivo::ResolvePathCase(args[2]);
            const std::filesystem::path lookupPath = kivo::ResolvePathCase(args[3]);
            kivo::PackIntoGameFolder(kivo::ResolvePathCase(args[1]), lookupPath, warnings, [&](const std::filesystem::path &newArchive) {
                return kivo::ImportSfxPackage(newArchive, metafilePath, lookupPath, warnings);
            });
        });
    if (args.size() >= 4 && args[0] == "-e")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::vector<std::filesystem::path> packages(args.begin() + 1, args.end() - 2);
            Export(packages, kivo::ResolvePathCase(args[args.size() - 2]), kivo::ResolvePathCase(args.back()), warnings);
        });
    if (args.size() == 3 && args[0] == "-l")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            kivo::PrintListing(OpenPackage(args[1], kivo::ResolvePathCase(args[2]), warnings).List());
        });
    if (args.size() == 5 && args[0] == "-x")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::filesystem::path lookupPath = kivo::ResolvePathCase(args[4]);
            kivo::RefuseOutputOverInput(args[3], {kivo::ResolvePathCase(args[1]), lookupPath});
            OpenPackage(args[1], lookupPath, warnings).Extract(args[2], args[3]);
        });
    if (args.size() >= 3 && args[0] == "-c")
        return kivo::RunCheck(kivo::GameCheck::Side::Sfx, args);
    return kivo::UsageError(usage);
}
