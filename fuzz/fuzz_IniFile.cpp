// Reads any bytes as a metafile with the program's reader and with the tools' reader: both must
// give the same sections, keys and values, or the program would play one file while a tool packs
// another.
#include "FuzzSupport.h"
#include "format/Metafile.h"
#include "metafile/IniFile.h"

namespace
{
// Text that is no well-formed UTF-16 (a lone surrogate from a wide file) has no UTF-8 form; the
// tools give U+FFFD where the program keeps the surrogate, and such sections are left out.
void Compare(const IniFile::Section *program, const kivo::Metafile::Section *tools)
{
    if (!program || !tools) {
        if (program || tools)
            FuzzSupport::Fail("a section only one reader finds");
        return;
    }
    for (const IniFile::Entry &entry : *program) {
        if (!entry.key.isValidUtf16() || !entry.value.isValidUtf16())
            return;
    }
    if (qsizetype(tools->size()) != program->size())
        FuzzSupport::Fail("the readers find different numbers of keys");
    for (const IniFile::Entry &entry : *program) {
        const auto found = tools->find(entry.key.toString().toStdString());
        if (found == tools->end() || found->second != entry.value.toString().toStdString())
            FuzzSupport::Fail("a key or value the readers read differently");
    }
}
}

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!FuzzSupport::WriteInput(data, size))
        return 0;
    IniFile ini;
    if (!ini.Load(FuzzSupport::InputPath()))
        FuzzSupport::Fail("an existing file is not loaded");
    const kivo::Metafile metafile = kivo::Metafile::Load(FuzzSupport::InputPath().toStdString());
    const QStringList names = ini.SectionNames();
    if (qsizetype(metafile.Sections().size()) != names.size())
        FuzzSupport::Fail("the readers find different numbers of sections");
    for (const QString &name : names) {
        // "" finds the unnamed section, compared below; the count covers a "[]" header.
        if (name.isEmpty() || !name.isValidUtf16())
            continue;
        const auto tools = metafile.Sections().find(name.toStdString());
        Compare(ini.FindSection(name), tools == metafile.Sections().end() ? nullptr : &tools->second);
    }
    Compare(ini.FindSection(QString()), metafile.FindSection(std::string()));
    return 0;
}
