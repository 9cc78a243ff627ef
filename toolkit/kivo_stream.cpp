// kivo_stream.exe: unpacks stream packs into Ogg Vorbis files and a metafile, and packs them back.
//   kivo_stream.exe -e <pack>... <target directory>
//   kivo_stream.exe -r <pack>... <target directory> <metadata-full.ini>   (folders named by station)
//   kivo_stream.exe -i <new pack> <stream_import.ini> <TrakLkup.dat>
//   kivo_stream.exe -l <pack>
//   kivo_stream.exe -x <pack> <entry> <output file>
#include <filesystem>
#include <string>
#include <vector>

#include "format/EntryListing.h"
#include "format/GameCheck.h"
#include "format/Naming.h"
#include "format/PathCase.h"
#include "format/SaveJournal.h"
#include "format/StationNames.h"
#include "format/StreamImport.h"
#include "format/StreamPack.h"
#include "format/ToolRunner.h"
#include "format/Warnings.h"

namespace
{
const char *const usage = "kivo_stream.exe -e <pack>... <target directory> | "
                          "kivo_stream.exe -r <pack>... <target directory> <metadata-full.ini> | "
                          "kivo_stream.exe -i <new pack> <stream_import.ini> <TrakLkup.dat> | "
                          "kivo_stream.exe -l <pack> | kivo_stream.exe -x <pack> <entry> <output file> | "
                          "kivo_stream.exe -c <pack>... <TrakLkup.dat>";

const char *const help =
    "Usage: kivo_stream.exe -e <pack>... <target directory>\n"
    "       kivo_stream.exe -r <pack>... <target directory> <metadata-full.ini>\n"
    "       kivo_stream.exe -i <new pack> <stream_import.ini> <TrakLkup.dat>\n"
    "       kivo_stream.exe -l <pack>\n"
    "       kivo_stream.exe -x <pack> <entry> <output file>\n"
    "       kivo_stream.exe -c <pack>... <TrakLkup.dat>\n"
    "Unpacks stream packs into <target directory>/<pack>/ (Ogg Vorbis files and\n"
    "stream_import.ini; with -r the folders are named by station), or packs such a folder into\n"
    "<new pack> and rewrites the track lookup file, keeping the previous one as\n"
    "<TrakLkup.dat>.bak. StrmPaks.dat must lie beside the lookup file.\n"
    "Packed into the archive itself, the new one is written beside it and then takes its place\n"
    "under a journal, as a save does. The new archive's size and checksum go to standard output.\n"
    "A missing <target directory> is made when the folder it lies in exists.\n"
    "-l lists the pack's tracks without unpacking, one line each, fields separated by tabs:\n"
    "the file name -e writes (Track_003.ogg), its size in bytes and the checksum of its bytes\n"
    "that stream_import.ini notes (16 hexadecimal digits).\n"
    "-x writes the one track <entry> (a name as -l prints it) to <output file>, exactly as -e\n"
    "writes it; the file appears only once it is complete.\n"
    "Names are matched ignoring case where the exact one does not exist.\n"
    "On failure: exit code 1 and one line on standard error.\n"
    "With -c, checks the packs against <TrakLkup.dat> and what lies beside them, writing nothing:\n"
    "one line per finding on standard output; exit code 0 when all is well, 1 when\n"
    "something was found, 2 when the check could not run (its reason on standard error).\n";

void Export(const std::vector<std::filesystem::path> &packs, const std::filesystem::path &target,
            const kivo::StationNames &stations, kivo::Warnings &warnings)
{
    kivo::CheckTargetFolder(target);
    // Every pack is checked before the first is unpacked.
    std::vector<kivo::StreamPack> opened;
    for (const auto &pack : packs)
        opened.push_back(kivo::StreamPack::Open(pack, warnings));
    for (const auto &pack : opened)
        pack.Export(target, stations.FolderName(pack.Name()), warnings);
}
}

int main(int argc, char *argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (kivo::AnswerInformationRequest(args, "kivo_stream.exe", help))
        return 0;
    if (args.size() == 4 && args[0] == "-i")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::filesystem::path metafilePath = kivo::ResolvePathCase(args[2]);
            const std::filesystem::path lookupPath = kivo::ResolvePathCase(args[3]);
            kivo::PackIntoGameFolder(kivo::ResolvePathCase(args[1]), lookupPath, warnings, [&](const std::filesystem::path &newArchive) {
                return kivo::ImportStreamPack(newArchive, metafilePath, lookupPath, warnings);
            });
        });
    if (args.size() >= 3 && args[0] == "-e")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::vector<std::filesystem::path> packs(args.begin() + 1, args.end() - 1);
            Export(packs, kivo::ResolvePathCase(args.back()), kivo::StationNames(), warnings);
        });
    if (args.size() >= 4 && args[0] == "-r")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            const std::vector<std::filesystem::path> packs(args.begin() + 1, args.end() - 2);
            Export(packs, kivo::ResolvePathCase(args[args.size() - 2]),
                   kivo::StationNames::Load(kivo::ResolvePathCase(args.back())), warnings);
        });
    if (args.size() == 2 && args[0] == "-l")
        return kivo::RunTool([&args](kivo::Warnings &warnings) { kivo::PrintListing(kivo::StreamPack::Open(args[1], warnings).List()); });
    if (args.size() == 4 && args[0] == "-x")
        return kivo::RunTool([&args](kivo::Warnings &warnings) {
            kivo::RefuseOutputOverInput(args[3], {kivo::ResolvePathCase(args[1])});
            kivo::StreamPack::Open(args[1], warnings).Extract(args[2], args[3]);
        });
    if (args.size() >= 3 && args[0] == "-c")
        return kivo::RunCheck(kivo::GameCheck::Side::Streams, args);
    return kivo::UsageError(usage);
}
