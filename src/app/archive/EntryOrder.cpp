#include "app/archive/EntryOrder.h"

#include <QAbstractItemModel>

QModelIndex EntryOrder::Next(const QAbstractItemModel &model, const QModelIndex &current)
{
    if (model.rowCount(current) > 0)
        return model.index(0, 0, current);
    const QModelIndex parent = current.parent();
    const QModelIndex candidate = model.index(current.row() + 1, current.column(), parent);
    if (candidate.isValid())
        return candidate;
    if (!parent.isValid())
        return model.index(0, 0);
    const QModelIndex nextBank = model.index(parent.row() + 1, parent.column(), parent.parent());
    if (nextBank.isValid())
        return model.index(0, 0, nextBank);
    const QModelIndex first = model.index(0, 0);
    return model.rowCount(first) > 0 ? model.index(0, 0, first) : first;
}

QModelIndex EntryOrder::Previous(const QAbstractItemModel &model, const QModelIndex &current)
{
    if (model.rowCount(current) > 0)
        return model.index(model.rowCount(current) - 1, 0, current);
    const QModelIndex parent = current.parent();
    if (current.row() != 0)
        return model.index(current.row() - 1, 0, parent);
    if (!parent.isValid())
        return model.index(model.rowCount() - 1, 0);
    const QModelIndex previousBank = parent.row() > 0 ? model.index(parent.row() - 1, 0, parent.parent())
                                                      : model.index(model.rowCount() - 1, 0);
    return model.index(model.rowCount(previousBank) - 1, 0, previousBank);
}
