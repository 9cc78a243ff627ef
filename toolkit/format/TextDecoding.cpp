#include "format/TextDecoding.h"

#include <cstdint>

namespace kivo
{
namespace
{
constexpr char32_t replacement = 0xFFFD;

void AppendUtf8(std::string &out, char32_t c)
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

bool IsScalar(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// The length of the well-formed UTF-8 character at the start of text, or 0.
std::size_t CharacterLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    return c >= smallest && IsScalar(c) ? length : 0;
}

std::string FromUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        std::size_t length = 0;
        while (length < bytes.size() && static_cast<unsigned char>(bytes[length]) < 0x80)
            ++length;
        if (length == 0)
            length = CharacterLength(bytes);
        if (length == 0) {
            AppendUtf8(text, replacement);
            length = 1;
        } else {
            text.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return text;
}

// UTF-16 or UTF-32 after the byte order mark, units of unitSize bytes.
std::string FromWide(std::string_view bytes, std::size_t unitSize, bool bBigEndian)
{
    const auto unitAt = [&](std::size_t at) {
        char32_t unit = 0;
        for (std::size_t i = 0; i < unitSize; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[at + (bBigEndian ? i : unitSize - 1 - i)]);
            unit = (unit << 8) | byte;
        }
        return unit;
    };
    std::string text;
    const std::size_t units = bytes.size() / unitSize;
    for (std::size_t u = 0; u < units; ++u) {
        char32_t c = unitAt(u * unitSize);
        if (unitSize == 2 && c >= 0xD800 && c <= 0xDBFF && u + 1 < units) {
            const char32_t low = unitAt((u + 1) * unitSize);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++u;
            }
        }
        AppendUtf8(text, IsScalar(c) ? c : replacement);
    }
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}
}

std::string DecodedText(std::string_view bytes)
{
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "\xFF\xFE\0\0"sv))
        return FromWide(bytes.substr(4), 4, false);
    if (StartsWith(bytes, "\0\0\xFE\xFF"sv))
        return FromWide(bytes.substr(4), 4, true);
    if (StartsWith(bytes, "\xFF\xFE"sv))
        return FromWide(bytes.substr(2), 2, false);
    if (StartsWith(bytes, "\xFE\xFF"sv))
        return FromWide(bytes.substr(2), 2, true);
    if (StartsWith(bytes, "\xEF\xBB\xBF"sv))
        bytes.remove_prefix(3);
    return FromUtf8(bytes);
}
}
