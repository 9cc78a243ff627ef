// Reads any bytes as a stream pack, as "kivo_stream.exe -r" does, with the track lookup file and
// station-name file it consults, and unpacks what it accepts. Input: TrakLkup.dat as a part,
// metadata-full.ini as a part, then the pack (see ToolkitInput). StrmPaks.dat is the demo
// game's, so the pack (named CH) has index 0.
#include <QDir>

#include <exception>
#include <filesystem>

#include "FuzzSupport.h"
#include "ToolkitInput.h"
#include "format/StationNames.h"
#include "format/StreamPack.h"
#include "format/Warnings.h"

namespace
{
std::filesystem::path game;
std::filesystem::path target;
}

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    const std::filesystem::path scratch = QFileInfo(FuzzSupport::InputPath()).path().toStdString();
    game = scratch / "game";
    target = scratch / "work";
    std::filesystem::create_directories(game / "audio" / "CONFIG");
    std::filesystem::create_directories(game / "audio" / "streams");
    if (!WriteScratchFile(game / "audio" / "CONFIG" / "StrmPaks.dat", NameTable({"CH", "RE"}, 16)))
        FuzzSupport::Fail("cannot write StrmPaks.dat");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ToolkitInput input(data, size);
    const std::filesystem::path stationsPath = game / "metadata-full.ini";
    const std::filesystem::path packPath = game / "audio" / "streams" / "CH";
    if (!WriteScratchFile(game / "audio" / "CONFIG" / "TrakLkup.dat", input.NextPart())
        || !WriteScratchFile(stationsPath, input.NextPart()) || !WriteScratchFile(packPath, input.Rest()))
        return 0;
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    try {
        kivo::Warnings warnings;
        const kivo::StationNames stations = kivo::StationNames::Load(stationsPath);
        const kivo::StreamPack pack = kivo::StreamPack::Open(packPath, warnings);
        pack.Export(target, stations.FolderName(pack.Name()), warnings);
    } catch (const std::exception &) {
        // A refusal with a message is the right answer to a damaged file.
    }
    return 0;
}
