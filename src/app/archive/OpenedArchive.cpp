#include "app/archive/OpenedArchive.h"

#include <QFileInfo>

#include "metafile/IniMetafileItem.h"

void OpenedArchive::Open(std::unique_ptr<IniMetafileModel> newModel, std::optional<LoadedArchive> newArchive)
{
    if (!newModel || !newArchive) {
        newModel.reset();
        newArchive.reset();
    }
    model = std::move(newModel);
    archive = std::move(newArchive);
}

QString OpenedArchive::FilePath(const QModelIndex &index) const
{
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    if (!archive || !item || index.model() != model.get())
        return QString();
    return archive->FilePath(item->GetName());
}

QModelIndex OpenedArchive::IndexOf(const FolderReplace::EntryKey &key) const
{
    if (!model || !key.IsValid())
        return {};
    if (key.bank == 0)
        return model->GetType() == IniMetafileModel::SFX ? QModelIndex() : model->index(key.number - 1, 0);
    // Bank rows are the banks whose sections exist, so a row number need not be the bank's.
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex bank = model->index(row, 0);
        if (FolderReplace::BankNumber(IniMetafileModel::ItemOf(bank)->GetName()) == key.bank)
            return model->index(key.number - 1, 0, bank);
    }
    return {};
}

QModelIndexList OpenedArchive::EntriesOf(const QModelIndexList &selected) const
{
    QModelIndexList entries;
    for (const QModelIndex &index : selected) {
        const int children = model && index.model() == model.get() ? model->rowCount(index) : 0;
        for (int row = 0; row < children; ++row)
            entries << model->index(row, 0, index);
        if (children == 0)
            entries << index;
    }
    return entries;
}

QStringList OpenedArchive::Names() const
{
    if (!archive)
        return {};
    QStringList names {QFileInfo(archive->Folder()).fileName(), model->GetName(), model->GetBasename()};
    const QString archivePath = archive->ArchivePath();
    if (!archivePath.isNull())
        names << FileNameOf(archivePath);
    return names;
}

QList<CopyOut::Entry> OpenedArchive::CopyOutEntries(const QModelIndexList &selected) const
{
    QList<CopyOut::Entry> entries;
    for (const QModelIndex &index : selected) {
        if (const IniMetafileItem *item = IniMetafileModel::ItemOf(index))
            entries.append({item->GetName(), FilePath(index), item->ChildCount() > 0});
    }
    return entries;
}

EntryFiles::Reverted OpenedArchive::Revert(const QModelIndexList &entries)
{
    QStringList names;
    for (const QModelIndex &index : entries) {
        if (!FilePath(index).isNull())
            names << IniMetafileModel::ItemOf(index)->GetName();
    }
    const EntryFiles::Reverted reverted = EntryFiles(*archive).Revert(names);
    MarkChanges();
    return reverted;
}

void OpenedArchive::MarkChanges()
{
    if (archive)
        model->SetChangedEntries(EntryFiles(*archive).Changed());
}

void OpenedArchive::SetPlaying(const QModelIndex &index, const QString &filePath)
{
    playingIndex = index;
    playingFile = filePath;
}

void OpenedArchive::ForgetPlaying()
{
    playingIndex = QModelIndex();
    playingFile.clear();
}

bool OpenedArchive::IsPlaying(const QModelIndex &index) const
{
    if (index.isValid() && index == playingIndex)
        return true;
    // The files count as well as the row: the archive that plays may have been loaded again.
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    return IsPlayingFile(FilePath(index))
        || (archive && item && index.model() == model.get() && IsPlayingFile(archive->OriginalFilePath(item->GetName())));
}

bool OpenedArchive::IsPlayingFile(const QString &filePath) const
{
    if (playingFile.isEmpty() || filePath.isEmpty())
        return false;
    // Through links and a working directory chosen by another path, the same file is the same.
    const QString canonical = QFileInfo(filePath).canonicalFilePath();
    return filePath == playingFile || (!canonical.isEmpty() && canonical == QFileInfo(playingFile).canonicalFilePath());
}
