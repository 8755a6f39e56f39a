#include "text/cp852.h"

#include "text/code_pages.h"
#include "text/utf8.h"

#include <algorithm>

namespace text {

std::string decodeCp852(std::string_view bytes)
{
    return codePage852().decode(bytes);
}

std::string encodeCp852(std::string_view utf8, std::size_t maxCharacters)
{
    const SingleByteCodePage& page = codePage852();
    std::string out;
    out.reserve(std::min(utf8.size(), maxCharacters));
    std::size_t pos = 0;
    while (pos < utf8.size() && out.size() < maxCharacters && utf8[pos] != '\0') {
        // ASCII is the same byte in both (most stored text is digits and "|"): a run of it is copied whole.
        std::size_t run = pos;
        const std::size_t end = std::min(utf8.size(), pos + (maxCharacters - out.size()));
        while (run < end && utf8[run] != '\0' && static_cast<unsigned char>(utf8[run]) < 0x80U) {
            ++run;
        }
        if (run > pos) {
            out.append(utf8.data() + pos, run - pos);
            pos = run;
            continue;
        }
        // A malformed sequence yields U+FFFD, one byte at a time; code page 852 has no such character.
        out += static_cast<char>(page.fromUnicode(nextCodePoint(utf8, pos)));
    }
    return out;
}

} // namespace text
