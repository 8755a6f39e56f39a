#include "engine/text_codec.h"

#include <gtest/gtest.h>

namespace engine {
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

TEST(CodePage1250Test, EveryByteRoundTrips)
{
    const SingleByteCodePage& page = codePage1250();
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(page.encode(page.decode(one)), one) << "byte " << b;
    }
    EXPECT_EQ(page.decode("\x8A\x9A\xE8\xF8\xEC\xF9"), "Šščřěů");
    EXPECT_EQ(page.encode("Ä€Ł—"), "\xC4\x80\xA3\x97");
    EXPECT_EQ(page.encode("日\xFF"), "??");
}

} // namespace
} // namespace engine
