#include "text/code_pages.h"
#include "text/cp852.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#elif __has_include(<iconv.h>)
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

// The system's converter as the independent reference: the C library's iconv, or on Windows the system's own
// code page functions.
#ifdef _WIN32
unsigned codePageNumber(const char* name)
{
    return std::string(name) == "UTF-8" ? CP_UTF8 : 852U;
}

std::string convert(const char* from, const char* to, const std::string& input)
{
    if (input.empty()) {
        return {};
    }
    const int inLength = static_cast<int>(input.size());
    std::wstring wide(input.size(), L'\0');
    const int wideLength = MultiByteToWideChar(codePageNumber(from), 0, input.data(), inLength, wide.data(), inLength);
    EXPECT_GT(wideLength, 0) << "MultiByteToWideChar failed";
    std::string out(input.size() * 4 + 4, '\0');
    const int outLength = WideCharToMultiByte(codePageNumber(to), 0, wide.data(), wideLength, out.data(),
                                              static_cast<int>(out.size()), nullptr, nullptr);
    EXPECT_GT(outLength, 0) << "WideCharToMultiByte failed";
    out.resize(static_cast<std::size_t>(outLength > 0 ? outLength : 0));
    return out;
}
#elif defined(TEXT_HAVE_ICONV)
std::string convert(const char* from, const char* to, const std::string& input)
{
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = input;
    std::string out(input.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(result, static_cast<std::size_t>(-1)) << "iconv failed";
    out.resize(out.size() - outLeft);
    return out;
}
#endif

#if defined(_WIN32) || defined(TEXT_HAVE_ICONV)
// Code page 852 as the tables hold it: every byte, both ways, and texts cut to a field's width.
TEST(CodePageTest, Cp852EveryByteDecodesAsTheSystemsConverterDoes)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(decodeCp852(single), convert("CP852", "UTF-8", single)) << "byte " << byte;
    }
}

TEST(CodePageTest, Cp852CzechTextMatchesTheSystemsConverter)
{
    const std::string text = "Příliš žluťoučký kůň úpěl ďábelské ódy ĚŠČŘŽÝÁÍÉÚŮŤĎŇÓ";
    EXPECT_EQ(encodeCp852(text, 1000), convert("UTF-8", "CP852", text));
    EXPECT_EQ(decodeCp852(encodeCp852(text, 1000)), text);
}

TEST(CodePageTest, Cp852EncodingCutsAtTheWidthInCharactersAndAtNul)
{
    EXPECT_EQ(encodeCp852("Příliš", 3), convert("UTF-8", "CP852", "Pří"));
    EXPECT_EQ(encodeCp852(std::string("ab\0cd", 5), 10), "ab");
    EXPECT_EQ(encodeCp852("", 5), "");
}
#endif

TEST(CodePageTest, Cp852EveryCharacterEncodesBackToItsByte)
{
    for (int byte = 1; byte < 256; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(encodeCp852(decodeCp852(single), 1), single) << "byte " << byte;
    }
}

TEST(CodePageTest, Cp852UnmappableAndMalformedInputBecomesQuestionMarks)
{
    EXPECT_EQ(encodeCp852("€ ж", 10), "? ?");
    EXPECT_EQ(encodeCp852("a\xFF\xC3", 10), "a??");
    EXPECT_EQ(encodeCp852("\xE2\x82", 10), "??") << "a cut sequence counts byte by byte";
}

} // namespace
} // namespace text
