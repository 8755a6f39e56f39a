#include "text/messages.h"

#include <cstdio>

namespace text {

namespace {

std::string generalNumber(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    // The general format of the platform writes the exponent as "E" followed by its digits ("1E20").
    const auto e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        const bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
            exponent.erase(0, 1);
        }
        exponent.erase(0, exponent.find_first_not_of('0'));
        text = mantissa + "E" + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
    }
    return text;
}

} // namespace

std::string MessageArg::render(char conversion) const
{
    switch (m_kind) {
    case Kind::Text:
        return m_text;
    case Kind::Integer:
        return conversion == 'g' ? generalNumber(static_cast<double>(m_integer)) : std::to_string(m_integer);
    case Kind::Floating:
        if (conversion == 'd') {
            return std::to_string(static_cast<long long>(m_floating));
        }
        return generalNumber(m_floating);
    }
    return {};
}

std::string formatMessage(std::string_view pattern, std::initializer_list<MessageArg> args)
{
    std::string out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        const char conversion = pattern[i + 1];
        if (conversion == '%') {
            out += '%';
            ++i;
        } else if ((conversion == 's' || conversion == 'd' || conversion == 'g') && next != args.end()) {
            out += next->render(conversion);
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace text
