// Reads any bytes as "MetaData.xml"; the message boxes it would open are only counted. A file
// either reads whole or is refused with one box and nothing kept.
#include <QMap>

#include "FuzzSupport.h"
#include "dialogs/UserDialogs.h"
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
    if (dialogs.shown > 1 || (dialogs.shown == 1 && (!metaData.textsById.isEmpty() || !metaData.idsByPath.isEmpty())))
        FuzzSupport::Fail("a refused file left entries or several boxes");
    if (metaData.textsById.contains(QString()) || metaData.idsByPath.contains(QString()))
        FuzzSupport::Fail("an entry without an id or a path was kept");
    for (auto it = metaData.idsByPath.cbegin(); it != metaData.idsByPath.cend(); ++it) {
        if (metaData.GetText(it.key()) != metaData.textsById.value(it.value()))
            FuzzSupport::Fail("the text of a path is not the text of its id");
    }
    return 0;
}
