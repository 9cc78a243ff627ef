#pragma once
#include <QAbstractItemModel>
#include <QMap>
#include <QSet>
#include <QString>

#include "metafile/IniFile.h"

class IniMetafileItem;

// The entries of one unpacked archive, read from its metafile at construction: banks with their
// sounds (SFX) or a flat list of tracks (stream). Read-only; owns its item tree. An index's
// internal pointer is its IniMetafileItem.
//
// Counts in a metafile are text a corrupt file can set to anything, so the rows are what the file
// backs, and a count only limits them:
// - Banks 1 to num_banks that have a section ("Bank_" and the number padded to three digits),
//   in number order; the sections are looked up among those present, however large the count.
// - Sounds of a bank: up to 100,000 every number from 1 to num_sounds gets a row, the ones
//   without keys an empty one. A larger count is not believed: the rows run to the highest sound
//   number that has a "sound_NNN." key, and past 100,000 only numbers with such a key get a row.
//   Rows without any key are made for 100,000 numbers in the whole file at most: a bank that would
//   need more than are left lists only its numbers with keys.
// - Tracks 1 to num_tracks until the first missing section.
class IniMetafileModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum ArchiveType { STREAM = 0, SFX = 1 };

    // Throws a QString ("Failed to load ini-file.", "Invalid ini-fileformat.") when the metafile
    // cannot be read.
    IniMetafileModel(ArchiveType type, const QString &iniFilepath, const QMap<QString, QString> &streamNames);
    ~IniMetafileModel() override;

    ArchiveType GetType() const;
    const QString &GetName() const;         // the archive's folder name in the working directory
    const QString &GetBasename() const;     // stream: "basename" as the file gives it
    qint32 GetLookupIndex() const;
    // The item behind an index of such a model; null for an invalid index.
    static IniMetafileItem *ItemOf(const QModelIndex &index);

    // Marks exactly the sounds and tracks whose names (with '/' as separator) are in `entryNames`
    // as changed: bold with a mark, and a bank shows how many of its sounds are. Those in
    // `notSavedNames` get a second mark, italic and blue with a tooltip, and are counted apart.
    void SetChangedEntries(const QSet<QString> &entryNames, const QSet<QString> &notSavedNames = {});
    int ChangedCount() const { return changedCount; }
    int NotSavedCount() const { return notSavedCount; }
    // The sound's loop start as its metafile now holds it, in frames; -1: it does not loop.
    void SetLoopOffset(const QModelIndex &index, qint32 frame);
    int EntryCount() const;                 // sounds and tracks, banks not counted

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void ReadSfxMetafile(const QString &iniFilepath);
    void ReadStreamMetafile(const QString &iniFilepath, const QMap<QString, QString> &streamNames);
    void ReadSounds(const IniFile::Section &section, qint32 soundCount, qint64 &keylessRowsLeft,
                    IniMetafileItem *pBank);

    ArchiveType type;
    QString name;
    qint32 lookupIndex = 0;
    IniMetafileItem *rootItem = nullptr;
    QString basename;
    int changedCount = 0;
    int notSavedCount = 0;
};
