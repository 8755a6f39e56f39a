#include "program_lines.h"

#include "text/utf8.h"

namespace engine {

LineKind lineKind(std::string_view line)
{
    if (text::utf8Length(line) < 2) {
        return LineKind::Foreperiod;
    }
    if (line.substr(0, 2) == "77") {
        return LineKind::StartMarker;
    }
    if (line.substr(0, 2) == "88") {
        return LineKind::EndMarker;
    }
    return LineKind::Other;
}

std::string markerFileName(std::string_view line)
{
    return text::utf8Mid(line, 3);
}

TestProgram::TestProgram(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            m_lines.emplace_back(text.substr(begin));
            break;
        }
        m_lines.emplace_back(text.substr(begin, end - begin));
        begin = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

int TestProgram::lineCount() const
{
    return static_cast<int>(m_lines.size());
}

std::string TestProgram::line(int index) const
{
    if (index < 0 || index >= lineCount()) {
        return {};
    }
    return m_lines[static_cast<std::size_t>(index)];
}

} // namespace engine
