#include "crypto/primitives.h"

#include <gtest/gtest.h>

namespace crypto {
namespace {

struct DigestCase
{
    const char* name;
    std::string key; // unused for SHA-256
    std::string message;
    const char* expected; // hexadecimal; HMAC truncated to its length where the standard truncates
};

std::string repeated(char byte, std::size_t count)
{
    return std::string(count, byte);
}

std::string ascending(unsigned char first, unsigned char last)
{
    std::string out;
    for (unsigned value = first; value <= last; ++value) {
        out += static_cast<char>(value);
    }
    return out;
}

class Sha256KnownAnswerTest : public ::testing::TestWithParam<DigestCase>
{ };

// FIPS 180-2, appendix B (one block, two blocks, a million 'a'), and the empty message.
INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256KnownAnswerTest,
    ::testing::Values(DigestCase {"abc", {}, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                      DigestCase {"twoBlocks",
                                  {},
                                  "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                      DigestCase {"millionA",
                                  {},
                                  repeated('a', 1000000),
                                  "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
                      DigestCase {"empty", {}, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(Sha256KnownAnswerTest, MatchesTheStandard)
{
    EXPECT_EQ(toHex(sha256(GetParam().message)), GetParam().expected);
}

class HmacKnownAnswerTest : public ::testing::TestWithParam<DigestCase>
{ };

// RFC 4231, test cases 1 to 7: short keys, data longer than the key, a truncated result, and keys longer
// than the 64-byte block, which are hashed first.
INSTANTIATE_TEST_SUITE_P(
    Rfc4231, HmacKnownAnswerTest,
    ::testing::Values(
        DigestCase {"case1", repeated('\x0b', 20), "Hi There",
                    "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        DigestCase {"case2KeyShorterThanOutput", "Jefe", "what do ya want for nothing?",
                    "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        DigestCase {"case3", repeated('\xaa', 20), repeated('\xdd', 50),
                    "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        DigestCase {"case4", ascending(0x01, 0x19), repeated('\xcd', 50),
                    "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        DigestCase {"case5Truncated", repeated('\x0c', 20), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
        DigestCase {"case6KeyLongerThanBlock", repeated('\xaa', 131),
                    "Test Using Larger Than Block-Size Key - Hash Key First",
                    "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        DigestCase {"case7KeyAndDataLongerThanBlock", repeated('\xaa', 131),
                    "This is a test using a larger than block-size key and a larger than block-size data. The key "
                    "needs to be hashed before being used by the HMAC algorithm.",
                    "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
        // Not in the RFC: the empty key and message, which the contract allows (Python's hmac module).
        DigestCase {"emptyKeyAndMessage", {}, {}, "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(HmacKnownAnswerTest, MatchesTheStandard)
{
    const std::string expected = GetParam().expected;
    EXPECT_EQ(toHex(hmacSha256(GetParam().key, GetParam().message)).substr(0, expected.size()), expected);
}

TEST(RandomBytesTest, GivesTheCountAskedForAndNeverTheSameKeyTwice)
{
    EXPECT_EQ(randomBytes(0), "");
    const std::string first = randomBytes(32);
    const std::string second = randomBytes(32);
    ASSERT_EQ(first.size(), 32U);
    EXPECT_NE(first, second);
    EXPECT_NE(first, std::string(32, '\0'));
    EXPECT_EQ(randomBytes(100000).size(), 100000U);
}

TEST(HexTest, EveryByteAsTwoLowercaseDigits)
{
    EXPECT_EQ(toHex(std::string_view("\x00\x0f\x10\x7f\x80\xff", 6)), "000f107f80ff");
    EXPECT_TRUE(isSha256Hex(toHex(sha256("x"))));
    EXPECT_FALSE(isSha256Hex(std::string(63, 'a')));
    EXPECT_FALSE(isSha256Hex(std::string(64, 'A')));
    EXPECT_FALSE(isSha256Hex(std::string(63, 'a') + 'g'));
}

} // namespace
} // namespace crypto
