#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Texts the examiner sees that must read exactly as the platform's standard messages do, and the one
// way the program fills in their patterns: %s takes a text, %d a whole number, %g a number in the
// general format.
namespace text::messages {

inline constexpr const char* kCannotOpenFile = "Cannot open file %s";
inline constexpr const char* kCannotCreateFile = "Cannot create file %s";
inline constexpr const char* kCannotReadFile = "Cannot read file %s";
inline constexpr const char* kCannotWriteFile = "Cannot write file %s";
inline constexpr const char* kFailedToLoadStream = "Failed to Load Stream";

} // namespace text::messages

namespace text {

// One argument of formatMessage(): a text, a whole number or a floating-point number.
class MessageArg
{
public:
    MessageArg(std::string_view text)
        : m_kind(Kind::Text)
        , m_text(text)
    { }
    MessageArg(const std::string& text)
        : m_kind(Kind::Text)
        , m_text(text)
    { }
    MessageArg(const char* text)
        : m_kind(Kind::Text)
        , m_text(text)
    { }
    MessageArg(long long number)
        : m_kind(Kind::Integer)
        , m_integer(number)
    { }
    MessageArg(int number)
        : MessageArg(static_cast<long long>(number))
    { }
    MessageArg(unsigned number)
        : MessageArg(static_cast<long long>(number))
    { }
    MessageArg(long number)
        : MessageArg(static_cast<long long>(number))
    { }
    MessageArg(double number)
        : m_kind(Kind::Floating)
        , m_floating(number)
    { }

    // The argument as text for the conversion letter `conversion` ('s', 'd' or 'g').
    std::string render(char conversion) const;

private:
    enum class Kind { Text, Integer, Floating };
    Kind m_kind;
    std::string m_text;
    long long m_integer = 0;
    double m_floating = 0.0;
};

// Fills `pattern` left to right: each %s, %d or %g takes the next argument, "%%" is a percent sign.
// %g writes up to 15 significant digits without an exponent below 1e15 ("40000", "-32768", "2.5").
// Missing arguments leave their conversion as it stands; surplus arguments are ignored.
std::string formatMessage(std::string_view pattern, std::initializer_list<MessageArg> args);

} // namespace text
