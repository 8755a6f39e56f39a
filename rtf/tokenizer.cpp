#include "rtf/tokenizer.h"

#include <algorithm>

namespace rtf {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool endsText(char c)
{
    return c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n';
}

} // namespace

Token Tokenizer::next()
{
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos];
        if (c == '\r' || c == '\n') {
            ++m_pos;
            continue;
        }
        if (c == '{' || c == '}') {
            ++m_pos;
            Token token;
            token.kind = c == '{' ? Token::Kind::GroupStart : Token::Kind::GroupEnd;
            return token;
        }
        if (c != '\\') {
            return text();
        }
        Token token = afterBackslash();
        if (token.kind != Token::Kind::End) {
            return token;
        }
        // A malformed "\'" produced nothing; the loop goes on from the byte after it.
    }
    return Token {};
}

Token Tokenizer::afterBackslash()
{
    ++m_pos; // the backslash
    if (m_pos >= m_data.size()) {
        return Token {};
    }
    const char c = m_data[m_pos];
    if (isLetter(c)) {
        return controlWord();
    }
    ++m_pos;
    Token token;
    if (c == '\'') {
        const int high = m_pos < m_data.size() ? hexValue(m_data[m_pos]) : -1;
        const int low = m_pos + 1 < m_data.size() ? hexValue(m_data[m_pos + 1]) : -1;
        if (high < 0 || low < 0) {
            return token;
        }
        m_pos += 2;
        token.kind = Token::Kind::HexByte;
        token.value = static_cast<unsigned char>(high * 16 + low);
        return token;
    }
    token.kind = Token::Kind::ControlSymbol;
    token.value = static_cast<unsigned char>(c);
    return token;
}

Token Tokenizer::controlWord()
{
    const qsizetype start = m_pos;
    while (m_pos < m_data.size() && isLetter(m_data[m_pos])) {
        ++m_pos;
    }
    Token token;
    token.kind = Token::Kind::ControlWord;
    token.bytes = m_data.sliced(start, std::min<qsizetype>(m_pos - start, kMaxWordLength));

    const bool negative = m_pos + 1 < m_data.size() && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1]);
    if (negative) {
        ++m_pos;
    }
    long long value = 0;
    while (m_pos < m_data.size() && isDigit(m_data[m_pos])) {
        token.hasParameter = true;
        value = std::min<long long>(value * 10 + (m_data[m_pos] - '0'), kMaxParameter);
        ++m_pos;
    }
    token.parameter = static_cast<int>(negative ? -value : value);
    if (m_pos < m_data.size() && m_data[m_pos] == ' ') {
        ++m_pos; // the delimiter belongs to the word
    }

    if (token.bytes == "bin") {
        const qsizetype length = std::clamp<qsizetype>(token.parameter, 0, m_data.size() - m_pos);
        token.kind = Token::Kind::Binary;
        token.bytes = m_data.sliced(m_pos, length);
        m_pos += length;
    }
    return token;
}

Token Tokenizer::text()
{
    const qsizetype start = m_pos;
    while (m_pos < m_data.size() && !endsText(m_data[m_pos])) {
        ++m_pos;
    }
    Token token;
    token.kind = Token::Kind::Text;
    token.bytes = m_data.sliced(start, m_pos - start);
    return token;
}

} // namespace rtf
