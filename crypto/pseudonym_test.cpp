#include "crypto/key_file.h"
#include "crypto/pseudonym.h"

#include <gtest/gtest.h>

namespace crypto {
namespace {

// Two keys as their files hold them. The expected pseudonyms were computed independently (Python's hmac
// module), so that both platforms' implementations are held to the same values.
const Key kLabKey = parseKeyFileText("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n", "lab");
const Key kOtherKey = parseKeyFileText("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20\n", "other");

struct PseudonymCase
{
    const char* digits;
    const char* underLabKey;
    const char* underOtherKey;
};

class PseudonymTest : public ::testing::TestWithParam<PseudonymCase>
{ };

INSTANTIATE_TEST_SUITE_P(
    BirthNumbers, PseudonymTest,
    ::testing::Values(
        PseudonymCase {"8501011234", "Pd1e1e45cb9bd784e0228d9feef62f7d7", "P52d2df0bcfd8210a7dc84efe0ab594f9"},
        PseudonymCase {"445127001", "Pbddb13e29d5d7f3d2d8b0775c773ece9", "P4c858f3f70593d80f0dbe9e2788ca0e0"},
        PseudonymCase {"0001010009", "Pca45565d9ef288b8e53f6a5a047282c2", "Pe74cec4bc84be56934a20da3d0cc2551"},
        PseudonymCase {"9955319998", "P220a10602258a246c8803c752d56890a", "Pcf853a9e2aa3c3afc2fc527d030db2fb"}));

TEST_P(PseudonymTest, StableUnderOneKeyAndAnotherUnderAnother)
{
    EXPECT_EQ(pseudonym(kLabKey, GetParam().digits), GetParam().underLabKey);
    EXPECT_EQ(pseudonym(kOtherKey, GetParam().digits), GetParam().underOtherKey);
}

TEST(PseudonymRefusalTest, OnlyNormalisedBirthNumbersHaveOne)
{
    for (const char* digits : {"", "12345678", "12345678901", "850101/1234", "850101 1234", "85010l1234",
                               "\xEF\xBC\x98"
                               "501011234",
                               "-850101123"}) {
        EXPECT_EQ(pseudonym(kLabKey, digits), std::nullopt) << digits;
    }
}

} // namespace
} // namespace crypto
