#include "game/VdfNode.h"

namespace
{
// Steam's own files nest a handful of levels; a deeper file is damaged or hostile, and each
// level costs a stack frame.
constexpr int maxDepth = 64;

bool EndsBareToken(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}' || c == '"';
}
}

// Splits the text into tokens and builds the nodes from them, one recursion level per block.
class VdfNode::Reader
{
public:
    explicit Reader(const QByteArray &text) : text(text) {}

    void ReadBlock(VdfNode &block, int depth)
    {
        if (depth > maxDepth)
            Fail(QStringLiteral("blocks nested too deep"));
        while (true) {
            const Token keyToken = Next();
            if (keyToken.kind == Token::End) {
                if (depth > 0)
                    Fail(QStringLiteral("a block is not closed"));
                return;
            }
            if (keyToken.kind == Token::Close) {
                if (depth == 0)
                    Fail(QStringLiteral("a \"}\" closes no block"));
                return;
            }
            if (keyToken.kind != Token::Text)
                Fail(QStringLiteral("a block has no key"));
            VdfNode child;
            child.key = keyToken.text;
            const Token valueToken = Next();
            if (valueToken.kind == Token::Open) {
                child.bBlock = true;
                ReadBlock(child, depth + 1);
            } else if (valueToken.kind == Token::Text) {
                child.value = valueToken.text;
            } else {
                Fail(QStringLiteral("the key \"%1\" has no value").arg(child.key));
            }
            block.children.append(std::move(child));
        }
    }

private:
    struct Token
    {
        enum Kind { End, Open, Close, Text } kind = End;
        QString text;
    };

    [[noreturn]] void Fail(const QString &problem) const
    {
        throw QStringLiteral("line %1: %2").arg(line).arg(problem);
    }

    void SkipSpaceAndComments()
    {
        while (position < text.size()) {
            const char c = text[position];
            if (c == '\n')
                ++line;
            if (c == '/' && position + 1 < text.size() && text[position + 1] == '/') {
                while (position < text.size() && text[position] != '\n')
                    ++position;
            } else if (c == '[') {
                // A platform condition after a value; which platform it names does not matter here.
                while (position < text.size() && text[position] != ']' && text[position] != '\n')
                    ++position;
                ++position;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++position;
            } else {
                return;
            }
        }
    }

    Token Next()
    {
        SkipSpaceAndComments();
        if (position >= text.size())
            return {};
        const char c = text[position];
        if (c == '{' || c == '}') {
            ++position;
            return {c == '{' ? Token::Open : Token::Close, QString()};
        }
        return {Token::Text, c == '"' ? Quoted() : Bare()};
    }

    QString Quoted()
    {
        const int startLine = line;
        QByteArray bytes;
        for (++position; position < text.size(); ++position) {
            char c = text[position];
            if (c == '"') {
                ++position;
                return QString::fromUtf8(bytes);
            }
            if (c == '\n')
                ++line;
            if (c == '\\' && position + 1 < text.size()) {
                c = text[++position];
                c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
            bytes.append(c);
        }
        line = startLine;
        Fail(QStringLiteral("a string is not closed"));
    }

    QString Bare()
    {
        const qsizetype start = position;
        while (position < text.size() && !EndsBareToken(text[position]))
            ++position;
        return QString::fromUtf8(text.mid(start, position - start));
    }

    const QByteArray &text;
    qsizetype position = 0;
    int line = 1;
};

VdfNode VdfNode::Parse(const QByteArray &text)
{
    VdfNode root;
    root.bBlock = true;
    Reader(text).ReadBlock(root, 0);
    return root;
}

const VdfNode *VdfNode::Child(const QString &childKey) const
{
    for (const VdfNode &child : children)
        if (child.key.compare(childKey, Qt::CaseInsensitive) == 0)
            return &child;
    return nullptr;
}
