// Reads any bytes as "metadata-full.ini", the station-name file, and checks each pair it gives
// against the lines of the file.
#include <QMap>

#include "FuzzSupport.h"
#include "tree/TreeModel.h"

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!FuzzSupport::WriteInput(data, size))
        return 0;
    const QMap<QString, QString> names = TreeModel::ReadStationNames(FuzzSupport::InputPath());
    // Every pair comes from a "stream = " line followed by a "station = " line: two lines of
    // at least nine characters each.
    if (qsizetype(names.size()) * 20 > qsizetype(size) + 1)
        FuzzSupport::Fail("more pairs than the file has lines for");
    return 0;
}
