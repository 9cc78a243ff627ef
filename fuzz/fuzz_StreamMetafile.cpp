// Reads any bytes as "stream_import.ini" into the entry model and walks every row.
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
    const QMap<QString, QString> stationNames{{QStringLiteral("AA"), QStringLiteral("Playback FM")}};
    try {
        const IniMetafileModel model(IniMetafileModel::STREAM, FuzzSupport::InputPath(), stationNames);
        FuzzSupport::WalkModel(model, 1 << 20);
    } catch (const QString &) {
        FuzzSupport::Fail("a readable stream metafile was refused");
    }
    return 0;
}
