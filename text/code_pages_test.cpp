#include "text/code_pages.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define TEXT_HAVE_ICONV 1
#endif

namespace text {
namespace {

TEST(CodePageTest, EveryByteOfEveryPageRoundTrips)
{
    for (const SingleByteCodePage* page : {&codePage1250(), &codePage1251(), &codePage1252(), &codePage852()}) {
        for (int b = 0; b < 256; ++b) {
            const std::string one(1, static_cast<char>(b));
            EXPECT_EQ(page->encode(page->decode(one)), one) << "byte " << b;
        }
    }
}

TEST(CodePageTest, CzechTextAndReplacements)
{
    const SingleByteCodePage& page = codePage1250();
    EXPECT_EQ(page.decode("\x8A\x9A\xE8\xF8\xEC\xF9"), "Šščřěů");
    EXPECT_EQ(page.encode("Ä€Ł—"), "\xC4\x80\xA3\x97");
    EXPECT_EQ(page.encode("日\xFF"), "??");
    EXPECT_EQ(page.encode("a\xC5", '_'), "a_");
    EXPECT_EQ(codePage852().fromUnicode(U'ř'), 0xFD);
    EXPECT_EQ(codePage852().fromUnicode(U'€', '#'), '#');
}

#ifdef TEXT_HAVE_ICONV
// What the C library's converter makes of one byte, or nothing where it leaves the byte undefined.
std::optional<std::string> iconvDecode(const char* codePage, unsigned char byte)
{
    iconv_t cd = iconv_open("UTF-8", codePage);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << codePage;
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    return std::string(out, sizeof out - outLeft);
}

// The independent reference for every table: each byte the C library defines decodes as it says.
TEST(CodePageTest, EveryDefinedByteDecodesAsTheCLibraryDoes)
{
    const std::pair<const char*, const SingleByteCodePage*> pages[] = {{"CP1250", &codePage1250()},
                                                                       {"CP1251", &codePage1251()},
                                                                       {"CP1252", &codePage1252()},
                                                                       {"CP852", &codePage852()}};
    for (const auto& [name, page] : pages) {
        for (int b = 0; b < 256; ++b) {
            const std::optional<std::string> expected = iconvDecode(name, static_cast<unsigned char>(b));
            if (expected) {
                EXPECT_EQ(page->decode(std::string(1, static_cast<char>(b))), *expected) << name << " byte " << b;
            } else {
                EXPECT_EQ(page->toUnicode(static_cast<unsigned char>(b)), char32_t(b)) << name << " byte " << b;
            }
        }
    }
}
#endif

} // namespace
} // namespace text
