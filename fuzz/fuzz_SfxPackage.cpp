// Reads any bytes as an SFX package with its bank lookup file, as "kivo_sfx.exe -e" does, and
// unpacks what it accepts. Input: the lookup file as a part, then the package (see ToolkitInput).
// PakFiles.dat is the demo game's, so the package (named GENRL) has index 1.
#include <QDir>

#include <exception>
#include <filesystem>

#include "FuzzSupport.h"
#include "ToolkitInput.h"
#include "format/LookupFile.h"
#include "format/NameTable.h"
#include "format/SfxPackage.h"
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
    std::filesystem::create_directories(game / "audio" / "SFX");
    if (!WriteScratchFile(game / "audio" / "CONFIG" / "PakFiles.dat", NameTable({"FEET", "GENRL", "SPC_EA"}, 52)))
        FuzzSupport::Fail("cannot write PakFiles.dat");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ToolkitInput input(data, size);
    const std::filesystem::path lookupPath = game / "audio" / "CONFIG" / "BankLkup.dat";
    const std::filesystem::path packagePath = game / "audio" / "SFX" / "GENRL";
    if (!WriteScratchFile(lookupPath, input.NextPart()) || !WriteScratchFile(packagePath, input.Rest()))
        return 0;
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    try {
        kivo::Warnings warnings;
        const kivo::LookupFile lookup = kivo::LookupFile::Load(lookupPath);
        const kivo::NameTable names = kivo::NameTable::Load(game / "audio" / "CONFIG" / "PakFiles.dat",
                                                            kivo::NameTable::PackageRecordSize);
        const kivo::SfxPackage package = kivo::SfxPackage::Open(packagePath, lookup, names, warnings);
        package.Export(target);
    } catch (const std::exception &) {
        // A refusal with a message is the right answer to a damaged file.
    }
    return 0;
}
