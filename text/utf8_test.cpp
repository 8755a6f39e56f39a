#include "text/utf8.h"

#include <gtest/gtest.h>

namespace text {
namespace {

TEST(Utf8Test, ValidityRejectsMalformedForms)
{
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("P\xC5\x99\xC3\xAD"
                            "li\xC5\xA1")); // Příliš
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xC5"));             // cut short
    EXPECT_FALSE(isValidUtf8("\x9A"));             // a lone continuation byte (code page 1250 "š")
}

TEST(Utf8Test, CharactersAreCountedNotBytes)
{
    EXPECT_EQ(utf8Length("žluťoučký"), 9U);
    EXPECT_EQ(utf8Mid("88 závěr.rtf", 3), "závěr.rtf");
    EXPECT_EQ(utf8Mid("žluťoučký", 2, 3), "uťo");
    EXPECT_EQ(utf8Mid("ab", 5), "");
    std::string out;
    appendUtf8(out, 0x10FFFF);
    appendUtf8(out, 0x20AC);
    EXPECT_EQ(out, "\xF4\x8F\xBF\xBF\xE2\x82\xAC");
}

TEST(Utf8Test, MalformedInputAdvancesOneByteAtATime)
{
    const std::string_view bytes = "\xE2\x82x";
    std::size_t pos = 0;
    EXPECT_EQ(nextCodePoint(bytes, pos), kReplacementCharacter);
    EXPECT_EQ(pos, 1U);
    EXPECT_EQ(nextCodePoint(bytes, pos), kReplacementCharacter);
    EXPECT_EQ(nextCodePoint(bytes, pos), U'x');
    EXPECT_EQ(pos, bytes.size());
}

} // namespace
} // namespace text
