#include "storage/code_page.h"

#include <gtest/gtest.h>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace storage {
namespace {

#ifdef _WIN32
// The system's own converter, as the independent reference for the table.
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
#else
// The C library's converter, as the independent reference for the table.
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

TEST(CodePage852Test, EveryByteDecodesAsTheCLibraryDoes)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(decodeCp852(single), convert("CP852", "UTF-8", single)) << "byte " << byte;
    }
}

TEST(CodePage852Test, EveryCharacterEncodesBackToItsByte)
{
    for (int byte = 1; byte < 256; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(encodeCp852(decodeCp852(single), 1), single) << "byte " << byte;
    }
}

TEST(CodePage852Test, CzechTextMatchesTheCLibrary)
{
    const std::string text = "Příliš žluťoučký kůň úpěl ďábelské ódy ĚŠČŘŽÝÁÍÉÚŮŤĎŇÓ";
    EXPECT_EQ(encodeCp852(text, 1000), convert("UTF-8", "CP852", text));
    EXPECT_EQ(decodeCp852(encodeCp852(text, 1000)), text);
}

TEST(CodePage852Test, UnmappableAndMalformedInputBecomesQuestionMarks)
{
    EXPECT_EQ(encodeCp852("€ ж", 10), "? ?");
    EXPECT_EQ(encodeCp852("a\xFF\xC3", 10), "a??");
    EXPECT_EQ(encodeCp852("\xE2\x82", 10), "??") << "a cut sequence counts byte by byte";
}

TEST(CodePage852Test, EncodingCutsAtTheWidthInCharactersAndAtNul)
{
    EXPECT_EQ(encodeCp852("Příliš", 3), convert("UTF-8", "CP852", "Pří"));
    EXPECT_EQ(encodeCp852(std::string("ab\0cd", 5), 10), "ab");
    EXPECT_EQ(encodeCp852("", 5), "");
}

} // namespace
} // namespace storage
