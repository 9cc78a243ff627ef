#include "app/archive/OpenedArchive.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "app/archive/LoopStarts.h"
#include "audio/AudioConverter.h"
#include "game/PathCase.h"
#include "metafile/IniMetafileItem.h"

namespace
{
// The entry's name as the toolkit lists it.
QString ListedName(const IniMetafileItem &item)
{
    return QString(item.GetName()).replace(QLatin1Char('\\'), QLatin1Char('/'));
}
}

void OpenedArchive::Open(std::unique_ptr<IniMetafileModel> newModel, std::optional<LoadedArchive> newArchive)
{
    if (!newModel || !newArchive) {
        newModel.reset();
        newArchive.reset();
    }
    model = std::move(newModel);
    archive = std::move(newArchive);
    states.reset();
    scratch.reset();
    replaceNotes.clear();
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
    QStringList names, failed;
    for (const QModelIndex &index : entries) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
        if (FilePath(index).isNull() || (states && !item->IsChanged()))
            continue;
        // The game's original goes where a replace keeps originals, over one a replace may have
        // kept from an archive that was modded already; so it is there after a fresh unpack too.
        if (states) {
            const QString kept = archive->OriginalFilePath(item->GetName());
            try {
                QDir().mkpath(QFileInfo(kept).absolutePath());
                states->Extract(ListedName(*item), kept, states->IsOriginalKept());
            } catch (const QString &) {
                failed << FilePath(index);
                continue;
            }
        }
        names << item->GetName();
    }
    // A sound whose loop start alone changed counts as reverted as well.
    int loopsOnly = 0;
    for (const QModelIndex &index : entries) {
        const qint64 original = OriginalLoopStart(index);
        if (!SoundKey(index).IsValid() || IniMetafileModel::ItemOf(index)->GetLoopOffset() == original)
            continue;
        if (!SetLoopStart(index, original).isNull())
            continue;
        if (!QFileInfo(archive->OriginalFilePath(IniMetafileModel::ItemOf(index)->GetName())).isFile())
            ++loopsOnly;
    }
    EntryFiles::Reverted reverted = EntryFiles(*archive).Revert(names);
    reverted.failed += failed;
    reverted.count += loopsOnly;
    MarkChanges();
    return reverted;
}

FolderReplace::EntryKey OpenedArchive::SoundKey(const QModelIndex &index) const
{
    if (!archive || archive->Type() != IniMetafileModel::SFX || index.model() != model.get() || !index.parent().isValid())
        return {};
    return {FolderReplace::BankNumber(IniMetafileModel::ItemOf(index.parent())->GetName()), index.row() + 1};
}

QString OpenedArchive::SetLoopStart(const QModelIndex &index, qint64 frame)
{
    const FolderReplace::EntryKey key = SoundKey(index);
    if (!key.IsValid())
        return QStringLiteral("Only a sound of an SFX package has a loop start.");
    const QString failed = LoopStarts(archive->MetafilePath()).Set(key.bank, key.number, frame);
    if (failed.isNull())
        model->SetLoopOffset(index, qint32(frame));
    return failed;
}

qint64 OpenedArchive::OriginalLoopStart(const QModelIndex &index) const
{
    const FolderReplace::EntryKey key = SoundKey(index);
    if (!key.IsValid())
        return LoopStarts::none;
    // The game's original where it is known, also after a fresh unpack of a saved archive.
    if (states)
        return originalLoops.value(ListedName(*IniMetafileModel::ItemOf(index)), LoopStarts::none);
    return LoopStarts(archive->MetafilePath()).Original(key.bank, key.number).value_or(LoopStarts::none);
}

QString OpenedArchive::Replaced(const QModelIndex &index, double gainDb)
{
    const QString filePath = FilePath(index);
    if (filePath.isNull())
        return QString();
    QString note;
    // Tenths of a decibel, as shown: a gain that rounds to nothing is not worth a word.
    const double shown = std::round(gainDb * 10.0) / 10.0;
    if (shown != 0.0)
        note = QString::number(std::abs(shown), 'f', 1)
             + (shown < 0 ? QStringLiteral(" dB quieter") : QStringLiteral(" dB louder"))
             + QStringLiteral(" to match the original");
    const qint64 loopStart = SoundKey(index).IsValid() ? IniMetafileModel::ItemOf(index)->GetLoopOffset() : LoopStarts::none;
    const qint64 frames = AudioConverter::Frames(filePath);
    const LoopStarts::Fitted fitted = LoopStarts::Fit(frames, loopStart);
    if (frames > 0 && fitted.bChanged && SetLoopStart(index, fitted.frame).isNull() && fitted.frame == 0)
        note += (note.isEmpty() ? QString() : QStringLiteral(" \u00b7 ")) + QStringLiteral("loops from its start now");
    replaceNotes.insert(filePath, note);
    return note;
}

QString OpenedArchive::ReplaceNote(const QModelIndex &index) const
{
    return replaceNotes.value(FilePath(index));
}

OpenedArchive::Marks OpenedArchive::MarkChanges()
{
    Marks marks;
    if (!archive)
        return marks;
    states.reset();
    // A folder loaded without its place in the game has nothing to be compared with.
    if (archive->ArchivePath().isNull()) {
        model->SetChangedEntries(EntryFiles(*archive).Changed());
        return marks;
    }
    try {
        EntryStates compared(archive->Type(), ResolvePathCase(archive->ArchivePath()),
                             ResolvePathCase(archive->LookupFilePath()));
        const EntryStates::Result result = compared.Compare(archive->Folder());
        QSet<QString> changed, notSaved;
        originalLoops.clear();
        for (const EntryStates::Entry &entry : result.entries) {
            if (entry.bChanged)
                changed << entry.name;
            if (entry.bNotSaved)
                notSaved << entry.name;
            originalLoops.insert(entry.name, entry.originalLoop);
        }
        model->SetChangedEntries(changed, notSaved);
        states = std::move(compared);
        marks.bCompared = true;
        marks.bOriginalKept = result.bOriginalKept;
    } catch (const QString &message) {
        // Without the game's archive, only the originals kept here tell what was replaced.
        model->SetChangedEntries(EntryFiles(*archive).Changed());
        marks.problem = message;
    }
    return marks;
}

QString OpenedArchive::OriginalOf(const QModelIndex &index)
{
    const IniMetafileItem *item = IniMetafileModel::ItemOf(index);
    if (FilePath(index).isNull() || !item->IsChanged())
        return QString();
    if (!states) {
        const QString kept = archive->OriginalFilePath(item->GetName());
        return QFileInfo(kept).isFile() ? kept : QString();
    }
    if (!scratch)
        scratch = std::make_unique<QTemporaryDir>();
    if (!scratch->isValid())
        throw QStringLiteral("No temporary folder could be made for the original: ") + scratch->errorString();
    const QString file = scratch->filePath(ListedName(*item).replace(QLatin1Char('/'), QLatin1Char('_')));
    states->Extract(ListedName(*item), file, states->IsOriginalKept());
    return file;
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
