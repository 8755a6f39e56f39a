#include "results/schema.h"

#include <cassert>

namespace results {

namespace {

struct FieldConstant
{
    const char* name;
    char type;
    int width;
};

// The schema of the results table. The names are data, stored in every file, and must stay exactly so.
constexpr FieldConstant kResultFields[kResultFieldCount] = {
    {"PRIJM", 'C', 15},    {"JMENO", 'C', 12},    {"RC_1", 'C', 6},     {"RC_2", 'C', 4},      {"DATE", 'C', 12},
    {"POC_1SER", 'N', 3},  {"POC_2SER", 'N', 3},  {"POC_3SER", 'N', 3}, {"POC_4SER", 'N', 3},  {"PRUMER1", 'F', 8},
    {"PRUMER2", 'F', 8},   {"PRUMER3", 'F', 8},   {"PRUMER4", 'F', 8},  {"POC_PRED1", 'N', 3}, {"POC_PRED2", 'N', 3},
    {"POC_PRED3", 'N', 3}, {"POC_PRED4", 'N', 3}, {"SER1A", 'C', 254},  {"SER1B", 'C', 254},   {"SER2A", 'C', 254},
    {"SER2B", 'C', 254},   {"SER3A", 'C', 254},   {"SER3B", 'C', 254},  {"SER4A", 'C', 254},   {"SER4B", 'C', 254},
};

const std::string& nameAt(std::size_t first, int series, std::size_t step = 1)
{
    assert(series >= 1 && series <= kSeriesCount);
    return resultTableFields()[first + step * static_cast<std::size_t>(series - 1)].name;
}

} // namespace

const std::vector<storage::TableFieldDef>& resultTableFields()
{
    static const std::vector<storage::TableFieldDef> fields = [] {
        std::vector<storage::TableFieldDef> list;
        for (const FieldConstant& constant : kResultFields) {
            storage::TableFieldDef field;
            field.name = constant.name;
            field.type = constant.type;
            field.width = constant.width;
            list.push_back(field);
        }
        return list;
    }();
    return fields;
}

const std::string& countField(int series)
{
    return nameAt(kFirstCount, series);
}

const std::string& meanField(int series)
{
    return nameAt(kFirstMean, series);
}

const std::string& prematureField(int series)
{
    return nameAt(kFirstPremature, series);
}

const std::string& listAField(int series)
{
    return nameAt(kFirstList, series, 2);
}

const std::string& listBField(int series)
{
    return nameAt(kFirstList + 1, series, 2);
}

} // namespace results
