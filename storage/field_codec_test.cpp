#include "storage/errors.h"
#include "storage/field_codec.h"

#include <gtest/gtest.h>
#include <string>

namespace storage {
namespace {

TableFieldDef field(const char* name, char type, int width, int decimals = 0)
{
    TableFieldDef def = normalizeFieldDef(name, type, width, decimals);
    def.offset = 1;
    return def;
}

std::string fieldText(const RowBuffer& row, const TableFieldDef& def)
{
    return {reinterpret_cast<const char*>(row.data()) + def.offset, static_cast<std::size_t>(def.width)};
}

std::string encoded(const TableFieldDef& def, const FieldValue& value)
{
    RowBuffer row(1 + static_cast<std::size_t>(def.width));
    EncodeField(row, def, value);
    return fieldText(row, def);
}

RowBuffer rowWith(const std::string& fieldBytes)
{
    RowBuffer row(1 + fieldBytes.size());
    std::copy(fieldBytes.begin(), fieldBytes.end(), row.data() + 1);
    return row;
}

struct NumberCase
{
    char type;
    int width;
    int decimals;
    FieldValue value;
    const char* stored;
};

class NumberEncodingTest : public ::testing::TestWithParam<NumberCase>
{ };

TEST_P(NumberEncodingTest, StoresTheExpectedText)
{
    const NumberCase& c = GetParam();
    const TableFieldDef def = field("X", c.type, c.width, c.decimals);
    EXPECT_EQ(encoded(def, c.value), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NumberEncodingTest,
    ::testing::Values(
        NumberCase {'N', 3, 0, std::int64_t {12}, " 12"}, NumberCase {'N', 3, 0, std::int64_t {-5}, " -5"},
        NumberCase {'N', 3, 0, std::int64_t {999}, "999"}, NumberCase {'N', 3, 0, std::int64_t {-99}, "-99"},
        NumberCase {'N', 3, 0, 7.5, "  8"}, NumberCase {'F', 8, 0, 250.5, "     251"},
        NumberCase {'F', 8, 0, 312.5, "     313"}, NumberCase {'F', 8, 0, 312.49, "     312"},
        NumberCase {'F', 8, 0, 0.0, "       0"}, NumberCase {'F', 8, 0, 1e8, "     1E8"},
        NumberCase {'F', 8, 0, 2.5e8, "   2.5E8"}, NumberCase {'F', 8, 0, -250.5, "    -251"},
        NumberCase {'F', 8, 0, -0.4, "       0"}, NumberCase {'F', 8, 0, 99999999.4, "99999999"},
        NumberCase {'F', 8, 0, std::int64_t {313}, "     313"}, NumberCase {'N', 8, 2, 3.14159, "    3.14"},
        NumberCase {'N', 8, 2, -0.005, "   -0.01"}, NumberCase {'N', 8, 2, 0.001, "    0.00"},
        NumberCase {'N', 6, 0, std::string(" 42"), "    42"}, NumberCase {'N', 3, 0, FieldValue {}, "   "}));

TEST(FieldEncodingTest, NumbersTooLongForTheWidthFailAndLeaveTheRow)
{
    struct Case
    {
        TableFieldDef def;
        FieldValue value;
        const char* message;
    };
    const Case cases[] = {
        {field("PRUMER1", 'F', 8), 123456789.0, "Field data too long :11 (must be between 1 and 8)."},
        {field("POC_1SER", 'N', 3), std::int64_t {1000}, "Field data too long :4 (must be between 1 and 3)."},
        {field("POC_1SER", 'N', 3), std::int64_t {-100}, "Field data too long :4 (must be between 1 and 3)."},
        {field("PRUMER1", 'F', 8), -12345678.0, "Field data too long :9 (must be between 1 and 8)."},
    };
    for (const Case& c : cases) {
        RowBuffer row(1 + static_cast<std::size_t>(c.def.width));
        EncodeField(row, c.def, std::int64_t {1});
        const RowBuffer before = row;
        try {
            EncodeField(row, c.def, c.value);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const FieldValueError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(row, before);
    }
}

TEST(FieldEncodingTest, TextIsCutToTheWidthInCharactersAndPadded)
{
    const TableFieldDef name = field("PRIJM", 'C', 15);
    EXPECT_EQ(encoded(name, std::string("Novák")), "Nov\xA0k          ");
    EXPECT_EQ(encoded(name, std::string("Příliš žluťoučký")),
              "P\xFD\xA1li\xE7 \xA7lu\x9Cou\x9F"
              "k");
    EXPECT_EQ(encoded(name, std::string("ab\0cd", 5)), "ab             ");
    EXPECT_EQ(encoded(name, FieldValue {}), std::string(15, ' '));
    EXPECT_EQ(encoded(field("SER1B", 'C', 254), std::string(255, '7')), std::string(254, '7'));
}

TEST(FieldDecodingTest, BlanksAreTrimmedAndEmptyIsNull)
{
    const TableFieldDef text = field("RC_1", 'C', 6);
    EXPECT_EQ(DecodeField(rowWith(" 12345"), text), FieldValue(std::string("12345")));
    EXPECT_EQ(DecodeField(rowWith(std::string("ab\0\0\0\0", 6)), text), FieldValue(std::string("ab")));
    EXPECT_EQ(DecodeField(rowWith("\x9C"
                                  "a    "),
                          text),
              FieldValue(std::string("ťa")));
    EXPECT_TRUE(isNull(DecodeField(rowWith("      "), text)));
    EXPECT_TRUE(isNull(DecodeField(rowWith("   "), field("N", 'N', 3))));
}

TEST(FieldDecodingTest, NumbersReadLocaleFreeAndGarbageReadsAsZero)
{
    EXPECT_EQ(DecodeField(rowWith(" -5"), field("N", 'N', 3)), FieldValue(std::int64_t {-5}));
    EXPECT_EQ(DecodeField(rowWith("1x3"), field("N", 'N', 3)), FieldValue(std::int64_t {0}));
    EXPECT_EQ(DecodeField(rowWith("   2.5E8"), field("F", 'F', 8)), FieldValue(2.5e8));
    EXPECT_EQ(DecodeField(rowWith("  -12.25"), field("N", 'N', 8, 2)), FieldValue(-12.25));
    EXPECT_EQ(DecodeField(rowWith("   12,25"), field("N", 'N', 8, 2)), FieldValue(0.0));
}

TEST(FieldAssignmentTest, SixteenBitFieldsRejectValuesOutOfRange)
{
    const TableFieldDef count = field("POC_1SER", 'N', 3);
    EXPECT_EQ(checkAssignment(count, std::int64_t {-32768}), FieldValue(std::int64_t {-32768}));
    try {
        checkAssignment(count, std::int64_t {40000});
        FAIL();
    } catch (const FieldValueError& error) {
        EXPECT_STREQ(error.what(),
                     "40000 is not a valid value for field 'POC_1SER'. The allowed range is -32768 to 32767");
    }
    EXPECT_THROW(checkAssignment(count, -32769.0), FieldValueError);
    EXPECT_THROW(checkAssignment(field("N", 'N', 9), std::int64_t {2147483648LL}), FieldValueError);
    EXPECT_NO_THROW(checkAssignment(field("N", 'N', 10), std::int64_t {2147483648LL}));
}

TEST(FieldAssignmentTest, TextForNumericFieldsMustBeANumber)
{
    EXPECT_EQ(checkAssignment(field("POC_1SER", 'N', 3), std::string("  12")), FieldValue(std::int64_t {12}));
    EXPECT_TRUE(isNull(checkAssignment(field("POC_1SER", 'N', 3), std::string())));
    try {
        checkAssignment(field("POC_1SER", 'N', 3), std::string("12a"));
        FAIL();
    } catch (const FieldValueError& error) {
        EXPECT_STREQ(error.what(), "'12a' is not a valid integer value for field 'POC_1SER'");
    }
    try {
        checkAssignment(field("PRUMER1", 'F', 8), std::string("1,5"));
        FAIL();
    } catch (const FieldValueError& error) {
        EXPECT_STREQ(error.what(), "'1,5' is not a valid floating point value for field 'PRUMER1'");
    }
}

struct NormalisationCase
{
    char letter;
    int width;
    int decimals;
    char type;
    FieldKind kind;
    int usedWidth;
    int usedDecimals;
};

class TypeLetterTest : public ::testing::TestWithParam<NormalisationCase>
{ };

TEST_P(TypeLetterTest, NormalisesWidthDecimalsAndKind)
{
    const NormalisationCase& c = GetParam();
    const TableFieldDef def = normalizeFieldDef("name", c.letter, c.width, c.decimals);
    EXPECT_EQ(def.name, "NAME");
    EXPECT_EQ(def.type, c.type);
    EXPECT_EQ(def.kind, c.kind);
    EXPECT_EQ(def.width, c.usedWidth);
    EXPECT_EQ(def.decimals, c.usedDecimals);
}

INSTANTIATE_TEST_SUITE_P(Letters, TypeLetterTest,
                         ::testing::Values(NormalisationCase {'C', 15, 3, 'C', FieldKind::Text, 15, 0},
                                           NormalisationCase {'c', 0, 0, 'C', FieldKind::Text, 1, 0},
                                           NormalisationCase {'C', 255, 0, 'C', FieldKind::Text, 254, 0},
                                           NormalisationCase {'N', 4, 0, 'N', FieldKind::Int16, 4, 0},
                                           NormalisationCase {'N', 5, 0, 'N', FieldKind::Int32, 5, 0},
                                           NormalisationCase {'n', 9, 0, 'N', FieldKind::Int32, 9, 0},
                                           NormalisationCase {'N', 10, 0, 'N', FieldKind::Int64, 10, 0},
                                           NormalisationCase {'N', 30, 0, 'N', FieldKind::Int64, 20, 0},
                                           NormalisationCase {'N', 0, 0, 'N', FieldKind::Int16, 1, 0},
                                           NormalisationCase {'N', 8, 2, 'N', FieldKind::Float, 8, 2},
                                           NormalisationCase {'N', 3, 5, 'N', FieldKind::Float, 3, 1},
                                           NormalisationCase {'N', 1, 1, 'N', FieldKind::Float, 1, 0},
                                           NormalisationCase {'F', 20, 4, 'F', FieldKind::Float, 8, 0},
                                           NormalisationCase {'L', 3, 1, 'L', FieldKind::Logical, 1, 0},
                                           NormalisationCase {'D', 10, 0, 'D', FieldKind::Date, 8, 0},
                                           NormalisationCase {'I', 9, 0, 'I', FieldKind::Binary4, 4, 0},
                                           NormalisationCase {'+', 9, 0, '+', FieldKind::Binary4, 4, 0},
                                           NormalisationCase {'@', 3, 0, '@', FieldKind::Binary8, 8, 0},
                                           NormalisationCase {'O', 3, 0, 'O', FieldKind::Binary8, 8, 0},
                                           NormalisationCase {'M', 4, 0, 'M', FieldKind::Memo, 10, 0},
                                           NormalisationCase {'B', 4, 0, 'B', FieldKind::Memo, 10, 0},
                                           NormalisationCase {'G', 4, 0, 'G', FieldKind::Memo, 10, 0},
                                           NormalisationCase {'X', 7, 2, '\0', FieldKind::Unsupported, 7, 2}));

} // namespace
} // namespace storage
