#include "tree/TreeModel.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QStringView>

#include <string_view>
#include <vector>

#include "format/StationNames.h"
#include "format/TextDecoding.h"
#include "tree/TreeItem.h"

namespace
{
// No real name comes near this. A line of megabytes from a broken file would otherwise take a
// view minutes to measure and draw, again on every repaint; the item keeps the whole text.
constexpr qsizetype longestShownText = 1024;

TreeItem *ItemOf(const QModelIndex &index)
{
    return static_cast<TreeItem *>(index.internalPointer());
}

// Leading blanks only: a tab ends the indentation and is trimmed off with the content.
qsizetype IndentationOf(QStringView line)
{
    qsizetype spaces = 0;
    while (spaces < line.size() && line.at(spaces) == QLatin1Char(' '))
        ++spaces;
    return spaces;
}
}

TreeModel::TreeModel(const QString &data, bool useMetadata)
    : rootItem(new TreeItem({QStringLiteral("Archiv")})),
      highlightColor(QStringLiteral("red"))
{
    SetupModelData(data, useMetadata);
}

TreeModel::~TreeModel()
{
    delete rootItem;
}

void TreeModel::SetupModelData(const QString &data, bool useMetadata)
{
    if (useMetadata)
        LoadStationNames();

    // Each stack entry is a node that can take children and the indentation that opened it.
    std::vector<TreeItem *> parents{rootItem};
    std::vector<qsizetype> indentations{0};

    const QStringView text(data);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const QStringView line = text.mid(start, end - start);
        start = end + 1;

        const qsizetype indentation = IndentationOf(line);
        const QStringView content = line.mid(indentation).trimmed();
        if (content.isEmpty())
            continue;

        QList<QVariant> columns;
        for (const QStringView piece : content.split(QLatin1Char('\t'), Qt::SkipEmptyParts)) {
            const QString column = piece.toString();
            columns.append(streamNames.value(column, column));
        }

        if (indentation > indentations.back()) {
            // Deeper than the level before: a child of the last node at that level, if there is
            // one yet; otherwise the indentation is not recorded as a level at all.
            TreeItem *top = parents.back();
            if (top->ChildCount() > 0) {
                parents.push_back(top->Child(top->ChildCount() - 1));
                indentations.push_back(indentation);
            }
        } else {
            // The root's indentation 0 is never greater, so the root stays.
            while (parents.size() > 1 && indentation < indentations.back()) {
                parents.pop_back();
                indentations.pop_back();
            }
        }

        TreeItem *parentItem = parents.back();
        parentItem->AppendChild(new TreeItem(columns, parentItem));
    }
}

void TreeModel::LoadStationNames()
{
    streamNames = ReadStationNames(QCoreApplication::applicationDirPath() + QStringLiteral("/metadata-full.ini"));
}

QMap<QString, QString> TreeModel::ReadStationNames(const QString &path)
{
    QMap<QString, QString> names;
    QFile file(path);
    // Only a plain file: a pipe would block the start for good, a device would never end.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return names;
    const QByteArray bytes = file.readAll();
    // The tools name the folders of "-r" by the same reading of the same text.
    const auto stations = kivo::StationNames::Parse(kivo::DecodedText(std::string_view(bytes.constData(), size_t(bytes.size()))));
    for (const auto &[stream, station] : stations.Pairs())
        names.insert(QString::fromStdString(stream), QString::fromStdString(station));
    return names;
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || (parent.isValid() && parent.model() != this))
        return {};
    const TreeItem *parentItem = parent.isValid() ? ItemOf(parent) : rootItem;
    TreeItem *child = parentItem->Child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    TreeItem *parentItem = ItemOf(index)->Parent();
    if (!parentItem || parentItem == rootItem)
        return {};
    return createIndex(parentItem->Row(), 0, parentItem);
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return rootItem->ChildCount();
    return parent.model() == this ? ItemOf(parent)->ChildCount() : 0;
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    if (role == Qt::ForegroundRole) {
        // The whole row of the loaded archive is red, whichever column is asked.
        if (index.row() == highlightedIndex.row() && index.parent() == highlightedIndex.parent())
            return QColor(highlightColor);
        return {};
    }
    if (role == Qt::FontRole || role == Qt::ToolTipRole) {
        if (!notSaved.contains(ItemOf(index)))
            return {};
        if (role == Qt::ToolTipRole)
            return QStringLiteral("Holds changes not saved into the game yet");
        QFont font;
        font.setItalic(true);
        return font;
    }
    if (role != Qt::DisplayRole)
        return {};
    const QVariant value = ItemOf(index)->Data(index.column());
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString();
        if (text.size() > longestShownText)
            return QString(text.left(longestShownText) + QChar(0x2026));
    }
    return value;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return rootItem->Data(section);
    return {};
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

void TreeModel::SetHighlightedIndex(const QModelIndex &index)
{
    const QModelIndex previous = highlightedIndex;
    highlightedIndex = index;
    // The row that loses its colour and the row that gains it are repainted, each as a range
    // from the first to the last real column, so no view is told of a column that does not exist.
    if (previous.row() != index.row() || previous.parent() != index.parent())
        EmitRowChanged(previous);
    EmitRowChanged(index);
}

void TreeModel::EmitRowChanged(const QModelIndex &index)
{
    if (!index.isValid() || index.model() != this)
        return;
    const QModelIndex parentIndex = index.parent();
    emit dataChanged(this->index(index.row(), 0, parentIndex),
                     this->index(index.row(), columnCount(parentIndex) - 1, parentIndex),
                     {Qt::ForegroundRole});
}

void TreeModel::SetNotSaved(const QModelIndex &index, bool bNotSaved)
{
    if (!index.isValid() || index.model() != this || IsNotSaved(index) == bNotSaved)
        return;
    if (bNotSaved)
        notSaved.insert(ItemOf(index));
    else
        notSaved.remove(ItemOf(index));
    const QModelIndex parentIndex = index.parent();
    emit dataChanged(this->index(index.row(), 0, parentIndex),
                     this->index(index.row(), columnCount(parentIndex) - 1, parentIndex),
                     {Qt::FontRole, Qt::ToolTipRole});
}

bool TreeModel::IsNotSaved(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this && notSaved.contains(ItemOf(index));
}

QModelIndex TreeModel::GetHighlightedIndex() const
{
    return highlightedIndex;
}

const QMap<QString, QString> &TreeModel::GetStreamNames() const
{
    return streamNames;
}

QModelIndexList TreeModel::ArchiveIndexes(const QModelIndex &parent) const
{
    QModelIndexList archives;
    for (int row = 0; row < rowCount(parent); ++row) {
        const QModelIndex child = index(row, 0, parent);
        if (ItemOf(child)->ChildCount() > 0)
            archives << ArchiveIndexes(child);
        else
            archives << child;
    }
    return archives;
}
