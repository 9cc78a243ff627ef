// Reads any bytes as "sfx_import.ini" into the entry model and walks every row.
#include <QMap>

#include "FuzzSupport.h"
#include "metafile/IniMetafileModel.h"

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!FuzzSupport::WriteInput(data, size))
        return 0;
    try {
        const IniMetafileModel model(IniMetafileModel::SFX, FuzzSupport::InputPath(), {});
        FuzzSupport::WalkModel(model, 1 << 20);
    } catch (const QString &message) {
        if (message != QLatin1String("Invalid ini-fileformat."))
            FuzzSupport::Fail("an unexpected message for a readable file");
    }
    return 0;
}
