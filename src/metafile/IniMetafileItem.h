#pragma once
#include <QList>
#include <QString>

// One row of a metafile: a bank, a sound or a track. Owns its children.
class IniMetafileItem
{
public:
    IniMetafileItem();
    virtual ~IniMetafileItem();
    IniMetafileItem(const IniMetafileItem &) = delete;
    IniMetafileItem &operator=(const IniMetafileItem &) = delete;

    const QString &GetName() const;
    IniMetafileItem *GetParent() const;
    int ChildCount() const;
    IniMetafileItem *Child(int row) const;  // null when row is out of range
    void AppendChild(IniMetafileItem *pChild); // takes ownership and becomes its parent
    int Row() const;                        // 0 without a parent, -1 when the parent does not list it

    int GetBeatTotal() const { return beatTotal; }
    int GetLengthExtra() const { return lengthExtra; }
    int GetLengthIndex() const { return lengthIndex; }
    int GetSampleRate() const { return sampleRate; }
    int GetUnknown16() const { return unknown16; }
    int GetLoopOffset() const { return loopOffset; }  // in frames; -1 when the sound does not loop
    bool IsChanged() const { return bChanged; }      // a sound or track that differs from the game's original
    bool IsNotSaved() const { return bNotSaved; }    // one that differs from what the game holds now
    int ChangedChildCount() const { return changedChildren; }

private:
    friend class IniMetafileModel;

    QString name;
    qint32 beatTotal = 0;
    qint32 lengthExtra = 0;
    qint32 lengthIndex = 0;
    qint32 sampleRate = 0;
    qint32 unknown16 = 0;
    qint32 loopOffset = -1;
    bool bChanged = false;
    bool bNotSaved = false;
    qint32 changedChildren = 0;
    qint32 notSavedChildren = 0;
    IniMetafileItem *parent = nullptr;
    QList<IniMetafileItem *> children;
};
