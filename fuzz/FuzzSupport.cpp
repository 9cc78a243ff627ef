#include "FuzzSupport.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
std::unique_ptr<QTemporaryDir> scratchDirectory;
QString inputPath;

void QuietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
    std::abort();
}
}

void FuzzSupport::Start(int *pArgc, char ***pArgv)
{
    qInstallMessageHandler(QuietMessages);
    // Lives until the process ends, like the application object of the program.
    new QCoreApplication(*pArgc, *pArgv);
    scratchDirectory = std::make_unique<QTemporaryDir>();
    if (!scratchDirectory->isValid())
        Fail("no scratch directory");
    inputPath = scratchDirectory->filePath(QStringLiteral("input"));
}

const QString &FuzzSupport::InputPath()
{
    return inputPath;
}

bool FuzzSupport::WriteInput(const uint8_t *data, size_t size)
{
    QFile file(inputPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

int FuzzSupport::WalkModel(const QAbstractItemModel &model, int budget)
{
    int visited = 0;
    std::vector<QModelIndex> pending{QModelIndex()};
    while (!pending.empty() && visited < budget) {
        const QModelIndex parent = pending.back();
        pending.pop_back();
        const int rows = model.rowCount(parent);
        if (rows < 0)
            Fail("negative row count");
        if (model.index(rows, 0, parent).isValid() || model.index(-1, 0, parent).isValid())
            Fail("index outside the rows is valid");
        for (int row = 0; row < rows && visited < budget; ++row, ++visited) {
            const QModelIndex child = model.index(row, 0, parent);
            if (!child.isValid() || child.row() != row || child.model() != &model)
                Fail("index of an existing row is not valid");
            if (model.parent(child) != parent)
                Fail("parent of a child is not the index it came from");
            if (!model.flags(child).testFlag(Qt::ItemIsEnabled))
                Fail("row is not enabled");
            (void)model.data(child, Qt::DisplayRole);
            (void)model.data(child, Qt::ForegroundRole);
            pending.push_back(child);
        }
    }
    (void)model.headerData(0, Qt::Horizontal, Qt::DisplayRole);
    return visited;
}

void FuzzSupport::Fail(const char *what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
