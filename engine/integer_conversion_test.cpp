#include "engine/errors.h"
#include "engine/integer_conversion.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace engine {
namespace {

struct Conversion
{
    const char* text;
    std::optional<std::int32_t> value;
};

class IntegerConversionTest : public ::testing::TestWithParam<Conversion>
{ };

TEST_P(IntegerConversionTest, ReadsExactlyTheIntegerForms)
{
    const Conversion& c = GetParam();
    EXPECT_EQ(tryToInteger(c.text), c.value) << "text: '" << c.text << "'";
}

INSTANTIATE_TEST_SUITE_P(Integers, IntegerConversionTest,
                         ::testing::Values(Conversion {"20", 20}, Conversion {" 20", 20}, Conversion {"   +20", 20},
                                           Conversion {"-7", -7}, Conversion {"$14", 20}, Conversion {"x14", 20},
                                           Conversion {"X1f", 31}, Conversion {"0x14", 20}, Conversion {"0X14", 20},
                                           Conversion {"-$10", -16}, Conversion {"007", 7}, Conversion {"0", 0},
                                           Conversion {"2147483647", 2147483647}, Conversion {"-2147483648", INT32_MIN},
                                           Conversion {"$FFFFFFFF", -1}, Conversion {"$7fffffff", INT32_MAX}));

INSTANTIATE_TEST_SUITE_P(NotIntegers, IntegerConversionTest,
                         ::testing::Values(Conversion {"", std::nullopt}, Conversion {" ", std::nullopt},
                                           Conversion {"20 ", std::nullopt}, Conversion {"2 0", std::nullopt},
                                           Conversion {"+", std::nullopt}, Conversion {"-", std::nullopt},
                                           Conversion {"+-1", std::nullopt}, Conversion {"$", std::nullopt},
                                           Conversion {"0x", std::nullopt}, Conversion {"1.5", std::nullopt},
                                           Conversion {"1e3", std::nullopt}, Conversion {"12a", std::nullopt},
                                           Conversion {"$G", std::nullopt}, Conversion {"2147483648", std::nullopt},
                                           Conversion {"-2147483649", std::nullopt},
                                           Conversion {"$100000000", std::nullopt}, Conversion {"\t5", std::nullopt},
                                           Conversion {"٣", std::nullopt}));

TEST(IntegerConversionErrorTest, MessageNamesTheText)
{
    try {
        toInteger("12 ");
        FAIL() << "'12 ' is not an integer";
    } catch (const FormatError& error) {
        EXPECT_STREQ(error.what(), "'12 ' is not a valid integer value");
    }
    EXPECT_EQ(toInteger(" -$1F"), -31);
}

} // namespace
} // namespace engine
