#include "text/messages.h"

#include <gtest/gtest.h>

namespace text {
namespace {

TEST(FormatMessageTest, FillsConversionsInOrder)
{
    EXPECT_EQ(formatMessage("'%s' is not a valid integer value", {"x"}), "'x' is not a valid integer value");
    EXPECT_EQ(formatMessage("%g is not a valid value for field '%s'. The allowed range is %g to %g",
                            {40000, "POC_1SER", -32768, 32767}),
              "40000 is not a valid value for field 'POC_1SER'. The allowed range is -32768 to 32767");
    EXPECT_EQ(formatMessage("%d%% of %s", {50, "all"}), "50% of all");
    EXPECT_EQ(formatMessage("%s and %s", {"one"}), "one and %s");
}

TEST(FormatMessageTest, GeneralNumberFormat)
{
    EXPECT_EQ(formatMessage("%g", {2.5}), "2.5");
    EXPECT_EQ(formatMessage("%g", {1000000.0}), "1000000");
    EXPECT_EQ(formatMessage("%g", {0.1 + 0.2}), "0.3");
    EXPECT_EQ(formatMessage("%g", {1e20}), "1E20");
    EXPECT_EQ(formatMessage("%g", {-1.5e-7}), "-1.5E-7");
}

} // namespace
} // namespace text
