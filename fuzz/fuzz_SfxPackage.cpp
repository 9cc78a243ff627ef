// Reads any bytes as an SFX package with its bank lookup file, as "kivo_sfx.exe -e" does, and
// unpacks what it accepts. Input: the lookup file as a part, then the package (see ToolkitInput).
// PakFiles.dat is the demo game's, so the package (named GENRL) has index 1.
#include <QDir>

#include <exception>
#include <filesystem>
#include <fstream>

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

bool Write(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(file.flush());
}

std::string NameTable()
{
    std::string table;
    for (const char *name : {"FEET", "GENRL", "SPC_EA"}) {
        std::string record(name);
        record.resize(52, '\0');
        table += record;
    }
    return table;
}
}

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    const std::filesystem::path scratch = QFileInfo(FuzzSupport::InputPath()).path().toStdString();
    game = scratch / "game";
    target = scratch / "work";
    std::filesystem::create_directories(game / "audio" / "CONFIG");
    std::filesystem::create_directories(game / "audio" / "SFX");
    if (!Write(game / "audio" / "CONFIG" / "PakFiles.dat", NameTable()))
        FuzzSupport::Fail("cannot write PakFiles.dat");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ToolkitInput input(data, size);
    const std::filesystem::path lookupPath = game / "audio" / "CONFIG" / "BankLkup.dat";
    const std::filesystem::path packagePath = game / "audio" / "SFX" / "GENRL";
    if (!Write(lookupPath, input.NextPart()) || !Write(packagePath, input.Rest()))
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
