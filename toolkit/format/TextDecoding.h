#pragma once
#include <string>
#include <string_view>

namespace kivo
{
// A text file's bytes as the program decodes them, given back as UTF-8: UTF-8 unless a UTF-16
// or UTF-32 byte order mark says otherwise, a leading byte order mark dropped, every byte that
// does not belong to a well-formed character replaced by U+FFFD on its own (so a line end is
// never swallowed), an incomplete wide character at the very end dropped. Line ends, "\r"
// included, are left to the reader.
std::string DecodedText(std::string_view bytes);
}
