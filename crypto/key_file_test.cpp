#include "crypto/crypto_error.h"
#include "crypto/key_file.h"
#include "crypto/primitives.h"
#include "crypto/test_access.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace crypto {
namespace {

class KeyFileTest : public ::testing::Test
{
protected:
    KeyFileTest()
    {
        std::random_device seed;
        m_dir = std::filesystem::temp_directory_path()
            / ("crypto_test_" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directory(m_dir);
    }
    ~KeyFileTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    static std::string readAll(const std::string& path)
    {
        std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeAll(const std::string& path, const std::string& bytes)
    {
        std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    // The message of the CryptoError `action` throws, or a note that it threw none.
    template<typename Action>
    static std::string refusal(Action action)
    {
        try {
            action();
        } catch (const CryptoError& error) {
            return error.what();
        }
        return "(nothing refused)";
    }

private:
    std::filesystem::path m_dir;
};

TEST_F(KeyFileTest, NewKeyIsOneLineOfHexReadableOnlyByItsOwnerWhateverTheMask)
{
    // The masks a user may have set: none, the usual, and one that would take the owner's own bits.
    for (const unsigned mask : {0U, 022U, 0777U}) {
        const std::string file = path("lab-" + std::to_string(mask) + ".key");
        const unsigned old = testing::setCreationMask(mask);
        const Key key = createKeyFile(file);
        testing::setCreationMask(old);

        EXPECT_EQ(testing::accessBeyondOwner(file), "") << "mask " << mask;
        const std::string text = readAll(file);
        EXPECT_EQ(text, toHex(std::string_view(reinterpret_cast<const char*>(key.data()), key.size())) + "\n");
        const KeyFileReading reading = readKeyFile(file);
        EXPECT_EQ(reading.key, key);
        EXPECT_EQ(reading.warning, "");
    }
    EXPECT_NE(readKeyFile(path("lab-0.key")).key, readKeyFile(path("lab-18.key")).key);
}

TEST_F(KeyFileTest, AnExistingFileIsNeverReplaced)
{
    const std::string file = path("lab.key");
    const Key first = createKeyFile(file);
    const std::string before = readAll(file);
    EXPECT_EQ(refusal([&] { createKeyFile(file); }),
              "Cannot create file " + file
                  + ": a file of that name exists already, and a key is never replaced (pseudonyms made with it "
                    "would no longer match)");
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(readKeyFile(file).key, first);

    const std::string other = path("notes.txt");
    writeAll(other, "not a key");
    EXPECT_NE(refusal([&] { createKeyFile(other); }), "(nothing refused)");
    EXPECT_EQ(readAll(other), "not a key");
}

TEST_F(KeyFileTest, FailuresNameTheFileAndTheReason)
{
    const std::string missingDir = path("missing") + "/lab.key";
    EXPECT_EQ(refusal([&] { createKeyFile(missingDir); }).rfind("Cannot create file " + missingDir + ": ", 0), 0U);
    EXPECT_FALSE(std::filesystem::exists(missingDir));
    const std::string missing = path("missing.key");
    EXPECT_EQ(refusal([&] { readKeyFile(missing); }).rfind("Cannot read file " + missing + ": ", 0), 0U);
    const std::string big = path("big.key");
    writeAll(big, std::string(kMaxKeyFileSize + 1, '0'));
    EXPECT_EQ(refusal([&] { readKeyFile(big); }),
              "Cannot read file " + big + ": it is not a key file (1025 bytes, a key file has at most 1024)");
}

TEST_F(KeyFileTest, OthersMayNotWriteTheKeyAndAreWarnedOfWhenTheyMayReadIt)
{
    const std::string file = path("lab.key");
    const Key key = createKeyFile(file);
    if (!testing::setModeBits(file, 0040)) {
        GTEST_SKIP() << "no POSIX modes here";
    }
    const KeyFileReading reading = readKeyFile(file);
    EXPECT_EQ(reading.key, key);
    EXPECT_EQ(reading.warning,
              "Key file " + file
                  + " can be read by others: whoever reads it can link the pseudonyms to birth numbers (make it "
                    "the owner's alone: chmod 600)");
    for (const unsigned bits : {0020U, 0002U}) {
        testing::setModeBits(file, bits);
        EXPECT_EQ(refusal([&] { readKeyFile(file); }),
                  "Cannot read file " + file
                      + ": others can write it, and whoever replaces the key can reverse the pseudonyms made with it "
                        "(make it the owner's alone: chmod 600)");
    }
}

TEST_F(KeyFileTest, OnlyARegularFileIsReadAndNothingIsWaitedFor)
{
    // POSIX opens a directory and says what it is; Windows refuses to open it.
    EXPECT_EQ(refusal([&] { readKeyFile(path("")); }).rfind("Cannot read file " + path("") + ": ", 0), 0U);
    const std::string pipe = path("pipe.key");
    if (!testing::makeNamedPipe(pipe)) {
        GTEST_SKIP() << "no named pipes here";
    }
    EXPECT_EQ(refusal([&] { readKeyFile(pipe); }), "Cannot read file " + pipe + ": it is not a regular file");
}

struct KeyTextCase
{
    const char* name;
    std::string text;
    const char* reason; // nullptr: read as the key 00 01 .. 1f
};

class KeyFileTextTest : public ::testing::TestWithParam<KeyTextCase>
{ };

const std::string kDigits = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

INSTANTIATE_TEST_SUITE_P(
    Texts, KeyFileTextTest,
    ::testing::Values(KeyTextCase {"asWritten", kDigits + "\n", nullptr},
                      KeyTextCase {"withoutLineEnd", kDigits, nullptr},
                      KeyTextCase {
                          "typedBackInGroupsWithCrLfAndAByteOrderMark",
                          "\xEF\xBB\xBF 0001 0203 0405 0607 0809 0A0B 0C0D 0E0F\r\n1011 1213 1415 1617 1819 1A1B 1C1D "
                          "1E1F\t\r\n",
                          nullptr},
                      KeyTextCase {"empty", "", "it is not a key file (it holds 0 hexadecimal digits, a key has 64)"},
                      KeyTextCase {"digitMissing", kDigits.substr(1),
                                   "it is not a key file (it holds 63 hexadecimal digits, a key has 64)"},
                      KeyTextCase {"digitTooMany", kDigits + "0\n",
                                   "it is not a key file (it holds 65 hexadecimal digits, a key has 64)"},
                      KeyTextCase {"letterBeyondF", "00g1", "it is not a key file (byte 3 is no hexadecimal digit)"},
                      KeyTextCase {"byteOrderMarkNotAtStart", "00\xEF\xBB\xBF",
                                   "it is not a key file (byte 3 is no hexadecimal digit)"},
                      KeyTextCase {"controlByte", kDigits.substr(0, 10) + '\0',
                                   "it is not a key file (byte 11 is no hexadecimal digit)"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(KeyFileTextTest, ReadOrRefusedWithTheReason)
{
    const KeyTextCase& c = GetParam();
    if (c.reason == nullptr) {
        Key expected {};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            expected[i] = static_cast<std::uint8_t>(i);
        }
        EXPECT_EQ(parseKeyFileText(c.text, "k"), expected);
        EXPECT_EQ(keyFileText(expected), kDigits + "\n");
    } else {
        try {
            parseKeyFileText(c.text, "lab.key");
            FAIL() << "read";
        } catch (const CryptoError& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Cannot read file lab.key: ") + c.reason);
        }
    }
}

} // namespace
} // namespace crypto
