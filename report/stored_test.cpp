#include "report/stored_test.h"

namespace report {

namespace {

std::string digitsOf(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        if (c != ' ') {
            digits += c;
        }
    }
    return digits;
}

} // namespace

std::string TestIdentity::birthNumberKey() const
{
    return digitsOf(birthNumber1) + digitsOf(birthNumber2);
}

std::string TestIdentity::birthNumberText() const
{
    const std::string first = digitsOf(birthNumber1);
    const std::string second = digitsOf(birthNumber2);
    if (second.empty()) {
        return first;
    }
    return first + "/" + second;
}

std::string countField(int series)
{
    return "POC_" + std::to_string(series) + "SER";
}

std::string meanField(int series)
{
    return "PRUMER" + std::to_string(series);
}

std::string prematureField(int series)
{
    return "POC_PRED" + std::to_string(series);
}

std::string listAField(int series)
{
    return "SER" + std::to_string(series) + "A";
}

std::string listBField(int series)
{
    return "SER" + std::to_string(series) + "B";
}

} // namespace report
