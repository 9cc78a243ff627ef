#include "app/archive/EntryPreview.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/CombinePath.h"
#include "app/archive/GameArchive.h"

EntryPreview::EntryPreview(EntryStates::ToolRunner runner)
    : runner(std::move(runner))
{
}

EntryPreview::~EntryPreview() = default;

QString EntryPreview::Extract(const GameArchive &archive, const QString &entryName)
{
    Forget();
    auto made = std::make_unique<QTemporaryDir>(CombinePath(QDir::tempPath(), QStringLiteral("RozivOze preview-XXXXXX")));
    if (!made->isValid())
        throw QStringLiteral("No temporary folder could be made: ") + made->errorString();
    // Only the file's own name: a bank folder, or a name that climbs out, has no place here.
    const QString copy = CombinePath(made->path(), QFileInfo(entryName).fileName());
    archive.ExtractEntry(entryName, copy, false, runner);
    if (!QFileInfo(copy).isFile())
        throw entryName + QStringLiteral(" was not copied out of ") + archive.Name() + QLatin1Char('.');
    folder = std::move(made);
    filePath = copy;
    return filePath;
}

void EntryPreview::Forget()
{
    folder.reset();
    filePath.clear();
}
