#pragma once

#include <QByteArrayView>

// Splits RTF bytes into the tokens the group-state reader works on. The tokenizer knows nothing of
// groups or destinations; it only knows where one token ends and the next begins.
namespace rtf {

struct Token
{
    enum class Kind {
        End,           // no more data
        GroupStart,    // '{'
        GroupEnd,      // '}'
        ControlWord,   // '\' letters [parameter] [one space]
        ControlSymbol, // '\' and one non-letter
        HexByte,       // "\'hh"
        Text,          // a run of ordinary bytes
        Binary,        // the N bytes following "\binN"
    };

    Kind kind = Kind::End;
    // ControlWord: its letters (at most kMaxWordLength of them). Text, Binary: the bytes.
    QByteArrayView bytes;
    // ControlWord: whether a numeric parameter was written, and its value (clamped to +-kMaxParameter).
    bool hasParameter = false;
    int parameter = 0;
    // ControlSymbol: the symbol character. HexByte: the byte's value.
    unsigned char value = 0;
};

class Tokenizer
{
public:
    // Longer control words are read to their end but keep only this many letters (no valid word is longer).
    static constexpr int kMaxWordLength = 32;
    // Parameters beyond this magnitude are clamped, so arithmetic on them cannot overflow.
    static constexpr int kMaxParameter = 1'000'000'000;

    // `data` must outlive the tokenizer and every token it returns (tokens point into it).
    explicit Tokenizer(QByteArrayView data)
        : m_data(data)
    { }

    // The next token; Kind::End once the data is used up, and for ever after. Every other token consumes at
    // least one byte, so a loop over next() always ends. CR and LF between tokens are not part of RTF text
    // and are dropped. "\binN" yields a Binary token of the N bytes after it, or of what is left when the
    // data is shorter; a "\'" with fewer than two hex digits yields nothing and reading goes on after it.
    Token next();

private:
    Token controlWord();
    Token afterBackslash();
    Token text();

    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

} // namespace rtf
