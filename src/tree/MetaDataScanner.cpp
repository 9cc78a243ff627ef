#include "tree/MetaDataScanner.h"

#include <QMap>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "tree/XmlMetaData.h"

namespace
{
using Byte = unsigned char;

// Beyond these a document is left to Qt's reader: a hostile file could otherwise make the
// duplicate check quadratic or the stack of open elements as large as the file.
constexpr int mostAttributes = 64;
constexpr int deepestNesting = 10000;

// Whether the text at p begins with the prefix; char may be signed, the document's bytes are not.
bool BeginsWith(const Byte *p, const Byte *end, const char *prefix)
{
    const qsizetype length = qsizetype(qstrlen(prefix));
    return end - p >= length
        && std::equal(prefix, prefix + length, p, [](char expected, Byte actual) { return Byte(expected) == actual; });
}

bool IsSpace(Byte c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameStart(Byte c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(Byte c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

bool IsXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the well-formed UTF-8 sequence at p that encodes a character XML allows, or 0.
int MultiByteLength(const Byte *p, const Byte *end)
{
    const Byte lead = p[0];
    int length = 0;
    char32_t character = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        character = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        character = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        character = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        character = (character << 6) | (p[i] & 0x3F);
    }
    return character >= smallest && IsXmlCharacter(character) ? length : 0;
}

// An entity or character reference at p (which points at '&'): its length and the character it
// stands for, or length 0 when it is none of the forms a document without a type may use.
struct Reference
{
    int length = 0;
    char32_t character = 0;
};

Reference ReadReference(const Byte *p, const Byte *end)
{
    static const struct
    {
        const char *name;
        char character;
    } predefined[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    const Byte *q = p + 1;
    if (q < end && *q == '#') {
        ++q;
        const bool bHex = q < end && *q == 'x';
        if (bHex)
            ++q;
        const Byte *digits = q;
        char32_t character = 0;
        for (; q < end && *q != ';'; ++q) {
            int digit = -1;
            if (*q >= '0' && *q <= '9')
                digit = *q - '0';
            else if (bHex && *q >= 'a' && *q <= 'f')
                digit = *q - 'a' + 10;
            else if (bHex && *q >= 'A' && *q <= 'F')
                digit = *q - 'A' + 10;
            if (digit < 0)
                return {};
            character = character * (bHex ? 16 : 10) + char32_t(digit);
            if (character > 0x10FFFF)
                return {};
        }
        if (q == end || q == digits || !IsXmlCharacter(character))
            return {};
        return {int(q + 1 - p), character};
    }
    for (const auto &entity : predefined) {
        if (BeginsWith(q, end, entity.name))
            return {int(1 + qstrlen(entity.name)), char32_t(entity.character)};
    }
    return {};
}

// QString::fromUtf8 drops a byte order mark at the start, but within a value it is a character.
QString FromUtf8(const char *text, qsizetype size)
{
    if (!BeginsWith(reinterpret_cast<const Byte *>(text), reinterpret_cast<const Byte *>(text + size), "\xEF\xBB\xBF"))
        return QString::fromUtf8(text, size);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(text, size));
}

void AppendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// A stretch of the document, an attribute's value as written.
struct Span
{
    const Byte *begin = nullptr;
    const Byte *end = nullptr;
    bool bAscii = true;       // decodes as Latin-1
    bool bRewritten = false;  // holds references, tabs or line ends

    // The value as an XML reader hands it out: references replaced, tabs and line ends as
    // spaces (values with carriage returns never get here).
    QString Value() const
    {
        const auto *text = reinterpret_cast<const char *>(begin);
        const qsizetype size = end - begin;
        if (!bRewritten)
            return bAscii ? QString::fromLatin1(text, size) : FromUtf8(text, size);
        QByteArray decoded;
        decoded.reserve(size);
        for (const Byte *p = begin; p < end;) {
            if (*p == '&') {
                const Reference reference = ReadReference(p, end);
                AppendUtf8(decoded, reference.character);
                p += reference.length;
            } else {
                decoded += *p == '\t' || *p == '\n' ? ' ' : char(*p);
                ++p;
            }
        }
        return FromUtf8(decoded.constData(), decoded.size());
    }

    // Whether this value equals another exactly when their bytes do: UTF-8 has one way to write
    // a character, references and rewritten white space give others.
    bool IsComparableByBytes() const
    {
        return !bRewritten;
    }
};

bool BytesLess(const Span &left, const Span &right)
{
    return std::lexicographical_compare(left.begin, left.end, right.begin, right.end);
}

bool BytesEqual(const Span &left, const Span &right)
{
    return std::equal(left.begin, left.end, right.begin, right.end);
}

struct Attribute
{
    QByteArrayView name;
    Span value;
};

struct Entry
{
    Span key;
    Span value;
    bool bHasValue = false;
    int order = 0;  // place in the document among its kind
};

class Scanner
{
public:
    explicit Scanner(QByteArrayView document)
        : position(reinterpret_cast<const Byte *>(document.data()))
        , end(position + document.size())
    {
    }

    bool Scan();

    std::vector<Entry> texts;  // id, text, in document order
    std::vector<Entry> ids;    // virtual path, id, in document order
    bool bTextsComparableByBytes = true;
    bool bIdsComparableByBytes = true;

private:
    bool StartsWith(const char *prefix) const
    {
        return BeginsWith(position, end, prefix);
    }
    bool SkipSpace()
    {
        const Byte *start = position;
        while (position < end && IsSpace(*position))
            ++position;
        return position != start;
    }
    bool Take(Byte c)
    {
        if (position == end || *position != c)
            return false;
        ++position;
        return true;
    }
    bool ReadName(QByteArrayView &name)
    {
        if (position == end || !IsNameStart(*position))
            return false;
        const Byte *start = position;
        while (position < end && IsNameChar(*position))
            ++position;
        name = QByteArrayView(start, position - start);
        return true;
    }
    // One character of text or of a comment, which must be one XML allows.
    bool SkipCharacter()
    {
        const Byte c = *position;
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                return false;
            ++position;
            return true;
        }
        const int length = MultiByteLength(position, end);
        position += length;
        return length != 0;
    }

    bool Declaration();
    bool SkipMisc();
    bool Comment();
    bool StartTag(QByteArrayView &name, bool &bEmpty);
    bool AttributeValue(Span &attribute);
    bool EndTag(QByteArrayView name);
    bool Text();

    const Byte *position;
    const Byte *end;
    std::vector<Attribute> attributes;
};

bool Scanner::Scan()
{
    if (StartsWith("\xEF\xBB\xBF"))
        position += 3;
    if (StartsWith("<?xml") && !Declaration())
        return false;
    if (!SkipMisc() || position == end || *position != '<')
        return false;
    std::vector<QByteArrayView> open;
    do {
        // Here position is at a '<' inside the document (or before its root).
        if (StartsWith("</")) {
            if (open.empty() || !EndTag(open.back()))
                return false;
            open.pop_back();
        } else if (StartsWith("<!--") && !open.empty()) {
            if (!Comment())
                return false;
        } else {
            QByteArrayView name;
            bool bEmpty = false;
            if (!StartTag(name, bEmpty))
                return false;
            if (!bEmpty)
                open.push_back(name);
            if (open.size() > deepestNesting)
                return false;
        }
    } while (!open.empty() && Text());
    return open.empty() && SkipMisc() && position == end;
}

bool Scanner::Declaration()
{
    static const char *const names[] = {"version", "encoding", "standalone"};
    position += 5;  // "<?xml"
    int next = 0;
    for (;;) {
        const bool bSpaced = SkipSpace();
        if (StartsWith("?>")) {
            position += 2;
            return next > 0;
        }
        if (!bSpaced)
            return false;
        int which = next;
        while (which < 3 && !StartsWith(names[which]))
            ++which;
        if (which == 3 || (next == 0 && which != 0))
            return false;
        position += qstrlen(names[which]);
        SkipSpace();
        if (!Take('='))
            return false;
        SkipSpace();
        if (position == end || (*position != '"' && *position != '\''))
            return false;
        const Byte quote = *position++;
        const Byte *start = position;
        while (position < end && *position != quote)
            ++position;
        if (position == end)
            return false;
        const QByteArrayView value(start, position - start);
        ++position;
        if ((which == 0 && value != "1.0") || (which == 1 && value.compare("UTF-8", Qt::CaseInsensitive) != 0)
            || (which == 2 && value != "yes" && value != "no"))
            return false;
        next = which + 1;
    }
}

// White space and comments, as they may stand before and after the root element.
bool Scanner::SkipMisc()
{
    for (;;) {
        SkipSpace();
        if (!StartsWith("<!--"))
            return true;
        if (!Comment())
            return false;
    }
}

bool Scanner::Comment()
{
    position += 4;  // "<!--"
    while (position < end) {
        if (*position == '-' && end - position >= 2 && position[1] == '-') {
            if (end - position < 3 || position[2] != '>')
                return false;
            position += 3;
            return true;
        }
        if (!SkipCharacter())
            return false;
    }
    return false;
}

bool Scanner::StartTag(QByteArrayView &name, bool &bEmpty)
{
    ++position;  // '<'
    if (!ReadName(name))
        return false;
    attributes.clear();
    for (;;) {
        const bool bSpaced = SkipSpace();
        if (position == end)
            return false;
        if (*position == '>') {
            ++position;
            bEmpty = false;
            break;
        }
        if (*position == '/') {
            if (end - position < 2 || position[1] != '>')
                return false;
            position += 2;
            bEmpty = true;
            break;
        }
        Attribute attribute;
        if (!bSpaced || !ReadName(attribute.name))
            return false;
        SkipSpace();
        if (!Take('='))
            return false;
        SkipSpace();
        if (!AttributeValue(attribute.value) || int(attributes.size()) == mostAttributes)
            return false;
        for (const Attribute &earlier : std::as_const(attributes))
            if (earlier.name == attribute.name)
                return false;
        attributes.push_back(attribute);
    }

    const bool bInfoData = name == "InfoData";
    if (!bInfoData && name != "MetaData")
        return true;
    const Attribute *key = nullptr;
    const Attribute *value = nullptr;
    for (const Attribute &attribute : std::as_const(attributes)) {
        if (attribute.name == (bInfoData ? "Id" : "VirtualPath"))
            key = &attribute;
        else if (attribute.name == (bInfoData ? "Text" : "InfoDataItemId"))
            value = &attribute;
    }
    // Every character written gives one character read, so an empty key is one written empty.
    if (!key || key->value.begin == key->value.end)
        return true;
    std::vector<Entry> &entries = bInfoData ? texts : ids;
    const Entry entry{key->value, value ? value->value : Span(), value != nullptr, int(entries.size())};
    (bInfoData ? bTextsComparableByBytes : bIdsComparableByBytes) &= entry.key.IsComparableByBytes();
    entries.push_back(entry);
    return true;
}

bool Scanner::AttributeValue(Span &attribute)
{
    if (position == end || (*position != '"' && *position != '\''))
        return false;
    const Byte quote = *position++;
    attribute.begin = position;
    while (position < end && *position != quote) {
        const Byte c = *position;
        if (c >= 0x80) {
            attribute.bAscii = false;
            const int length = MultiByteLength(position, end);
            if (length == 0)
                return false;
            position += length;
        } else if (c == '&') {
            attribute.bRewritten = true;
            const int length = ReadReference(position, end).length;
            if (length == 0)
                return false;
            position += length;
        } else if (c >= 0x20 && c != '<') {
            ++position;
        } else if (c == '\t' || c == '\n') {
            attribute.bRewritten = true;
            ++position;
        } else {
            // '<', control characters, and carriage returns, whose pairing with line feeds is
            // left to Qt's reader.
            return false;
        }
    }
    if (position == end)
        return false;
    attribute.end = position++;
    return true;
}

bool Scanner::EndTag(QByteArrayView name)
{
    position += 2;  // "</"
    QByteArrayView closing;
    if (!ReadName(closing) || closing != name)
        return false;
    SkipSpace();
    return Take('>');
}

// The character data up to the next '<', which must be well-formed too.
bool Scanner::Text()
{
    while (position < end) {
        const Byte c = *position;
        if (c == '<')
            return true;
        if (c == '&') {
            const int length = ReadReference(position, end).length;
            if (length == 0)
                return false;
            position += length;
        } else if (c == ']' && end - position >= 3 && position[1] == ']' && position[2] == '>') {
            return false;
        } else if (!SkipCharacter()) {
            return false;
        }
    }
    return false;
}

// Sorted once and handed over as a whole, instead of fifty thousand insertions that each search
// the tree. The last of equal keys stays, as repeated insertions would have left it. While keys
// are equal exactly when their bytes are, they are sorted as bytes, which spares decoding the
// keys that a later one replaces; the byte order is the order of the texts except where
// characters from U+E000 meet ones beyond U+FFFF, and there the hint only costs a search.
QMap<QString, QString> Mapped(std::vector<Entry> &entries, bool bComparableByBytes)
{
    std::map<QString, QString> sorted;
    if (bComparableByBytes) {
        std::sort(entries.begin(), entries.end(), [](const Entry &left, const Entry &right) {
            return BytesLess(left.key, right.key) || (BytesEqual(left.key, right.key) && left.order < right.order);
        });
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            const auto next = entry + 1;
            if (next != entries.end() && BytesEqual(next->key, entry->key))
                continue;
            sorted.emplace_hint(sorted.end(), entry->key.Value(), entry->bHasValue ? entry->value.Value() : QString());
        }
    } else {
        for (const Entry &entry : entries)
            sorted.insert_or_assign(entry.key.Value(), entry.bHasValue ? entry.value.Value() : QString());
    }
    return QMap<QString, QString>(std::move(sorted));
}
}

bool ScanMetaData(QByteArrayView document, XmlMetaData &result)
{
    Scanner scanner(document);
    // Entries are seldom written shorter. Capacity never touched costs nothing; regrowing the
    // lists copies them and touches twice the memory.
    constexpr qsizetype shortestEntry = 64;
    scanner.texts.reserve(size_t(document.size() / shortestEntry));
    scanner.ids.reserve(size_t(document.size() / shortestEntry));
    if (!scanner.Scan())
        return false;
    result.textsById = Mapped(scanner.texts, scanner.bTextsComparableByBytes);
    result.idsByPath = Mapped(scanner.ids, scanner.bIdsComparableByBytes);
    return true;
}
