#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

// One key of a Steam text key-value file (".vdf"): either a string value or a block of child
// keys. Owns its children.
class VdfNode
{
public:
    // The keys at the top of the file, as children of a nameless block. Takes quoted and bare
    // tokens, the escapes \\ \" \n \t, "//" comments and [$CONDITION] tags (ignored). Throws a
    // QString naming the line for damaged text: an unclosed string or block, a stray "}", a key
    // without a value, or blocks nested implausibly deep.
    static VdfNode Parse(const QByteArray &text);

    const QString &Key() const { return key; }
    const QString &Value() const { return value; }
    bool IsBlock() const { return bBlock; }
    const QList<VdfNode> &Children() const { return children; }
    // The first child whose key equals key ignoring case (as Steam compares them); null if none.
    const VdfNode *Child(const QString &childKey) const;

private:
    class Reader;

    QString key;
    QString value;
    bool bBlock = false;
    QList<VdfNode> children;
};
