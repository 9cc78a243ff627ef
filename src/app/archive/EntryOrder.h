#pragma once
#include <QModelIndex>

class QAbstractItemModel;

// The order in which the player walks the entry list: sounds bank after bank, or tracks, and
// round from the last to the first. A bank stands for its first (or, going back, last) sound.
namespace EntryOrder
{
// The entry after `current`.
QModelIndex Next(const QAbstractItemModel &model, const QModelIndex &current);
// The entry before `current`.
QModelIndex Previous(const QAbstractItemModel &model, const QModelIndex &current);
}
