// Reads any bytes as "MetaData.xml"; the message boxes it would open are only counted. What the
// program keeps must be what Qt's own XML reader makes of the same bytes, whether the quick
// reading took the file or left it to Qt's reader.
#include <QMap>

#include "FuzzSupport.h"
#include "QtMetaDataReading.h"
#include "app/UserDialogs.h"
#include "tree/MetaDataScanner.h"
#include "tree/XmlMetaData.h"

namespace
{
class CountedDialogs : public UserDialogs::Handler
{
public:
    QMessageBox::StandardButton Answer(const UserDialogs::Request &) override
    {
        ++shown;
        return QMessageBox::Ok;
    }
    QString Choose(const UserDialogs::Request &) override
    {
        FuzzSupport::Fail("reading descriptions opened a chooser");
    }
    int shown = 0;
};

CountedDialogs dialogs;

bool Same(const XmlMetaData &left, const XmlMetaData &right)
{
    return left.textsById == right.textsById && left.idsByPath == right.idsByPath;
}
}

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    FuzzSupport::Start(pArgc, pArgv);
    UserDialogs::SetHandler(&dialogs);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!FuzzSupport::WriteInput(data, size))
        return 0;
    dialogs.shown = 0;
    const XmlMetaData metaData = ReadMetaData(FuzzSupport::InputPath());
    // A file either reads completely or is refused with one box and nothing kept.
    if (dialogs.shown > 1 || (dialogs.shown == 1 && (!metaData.textsById.isEmpty() || !metaData.idsByPath.isEmpty())))
        FuzzSupport::Fail("a refused file left entries or several boxes");
    const QByteArray document(reinterpret_cast<const char *>(data), qsizetype(size));
    XmlMetaData expected;
    const bool bWellFormed = ReadWithQt(document, expected);
    if (bWellFormed != (dialogs.shown == 0) || (bWellFormed && !Same(metaData, expected)))
        FuzzSupport::Fail("the descriptions differ from what Qt's reader makes of the file");
    XmlMetaData quick;
    if (ScanMetaData(document, quick) && (!bWellFormed || !Same(quick, expected)))
        FuzzSupport::Fail("the quick reading took a file that Qt's reader reads otherwise");
    for (auto it = metaData.idsByPath.cbegin(); it != metaData.idsByPath.cend(); ++it) {
        if (metaData.GetText(it.key()) != metaData.textsById.value(it.value()))
            FuzzSupport::Fail("the text of a path is not the text of its id");
    }
    return 0;
}
