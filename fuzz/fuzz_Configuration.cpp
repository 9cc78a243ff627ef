// Builds the archive tree from any text as the window reads "configuration.ini" (Latin-1) and
// checks that every line with content became exactly one consistent row.
#include <QModelIndex>

#include "FuzzSupport.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"

namespace
{
int LinesWithContent(const QString &text)
{
    int count = 0;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        qsizetype indentation = 0;
        while (indentation < line.size() && line.at(indentation) == QLatin1Char(' '))
            ++indentation;
        if (!line.sliced(indentation).trimmed().isEmpty())
            ++count;
    }
    return count;
}

// The getters the window calls on a tree item, on every row.
void AskEveryItem(const TreeModel &model, const QModelIndex &parent)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const auto *item = static_cast<const TreeItem *>(index.internalPointer());
        if (item->Row() != row)
            FuzzSupport::Fail("an item does not know its row");
        if (item->IsSfx() && item->IsStream())
            FuzzSupport::Fail("an item is of both kinds");
        (void)item->GetArchivePath();
        (void)item->GetBankFilePath();
        AskEveryItem(model, index);
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
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    TreeModel model(text, false);
    const int rows = FuzzSupport::WalkModel(model, 1 << 20);
    if (rows != LinesWithContent(text))
        FuzzSupport::Fail("a line with content did not become exactly one row");
    AskEveryItem(model, QModelIndex());
    if (rows > 0) {
        model.SetHighlightedIndex(model.index(model.rowCount() - 1, 0));
        model.SetHighlightedIndex(model.index(0, 0));
    }
    return 0;
}
