#pragma once

#include <string>
#include <string_view>
#include <vector>

// The values of a journal line. Each line is one record of RFC 4180 CSV that never spans two lines of the
// file: a value's backslashes, line breaks and other control bytes are escaped first (\\, \r, \n, \xHH
// with two uppercase hexadecimal digits), then a value that holds a comma or a quote, or begins or ends
// with a space, is quoted, its quotes doubled. So a damaged quote can never swallow the lines after it,
// and a line cut short by a crash is always the file's last, without its CR LF.
namespace audit {

// Appends `text` (any bytes) to `line` in its escaped and, where needed, quoted form.
void appendValue(std::string& line, std::string_view text);

// Splits `line` (without its CR LF) at its commas into `values`, unquoted and unescaped. Returns an empty
// text when the line is well-formed, otherwise the reason it is not (a control byte, a quote out of place,
// an unknown escape); `values` is then unspecified. The reason names a byte position (1-based) or a value's
// number, never the content.
std::string splitValues(std::string_view line, std::vector<std::string>& values);

} // namespace audit
