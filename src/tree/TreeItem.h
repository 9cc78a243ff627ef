#pragma once
#include <QList>
#include <QString>
#include <QVariant>

// One node of the archive tree: its column texts and its children, which it owns.
class TreeItem
{
public:
    explicit TreeItem(const QList<QVariant> &data, TreeItem *pParent = nullptr);
    ~TreeItem();                            // deletes the whole subtree, however deep
    TreeItem(const TreeItem &) = delete;
    TreeItem &operator=(const TreeItem &) = delete;

    void AppendChild(TreeItem *pChild);     // takes ownership
    TreeItem *Child(int row) const;         // null when row is out of range
    int ChildCount() const;
    int ColumnCount() const;
    QVariant Data(int column) const;        // invalid for a column the node does not have
    int Row() const;                        // position among the parent's children; 0 for the root
    TreeItem *Parent() const;

    QString GetName() const;                // column 0
    QString GetArchivePath() const;         // column 1, relative to the game folder
    QString GetBankFilePath() const;        // column 3, relative to the game folder
    bool IsSfx() const;                     // column 2 is "sfx" in any case
    bool IsStream() const;                  // column 2 is "stream" in any case

private:
    QString Column(int column) const;

    QList<TreeItem *> childItems;
    QList<QVariant> itemData;
    TreeItem *parentItem = nullptr;
    int appendedAt = -1;                    // where AppendChild put this node; checked before use
};
