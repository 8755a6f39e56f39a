#include "results/identity.h"

namespace results {

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

std::string Identity::birthNumberKey() const
{
    return digitsOf(birthNumber1) + digitsOf(birthNumber2);
}

std::string Identity::birthNumberText() const
{
    const std::string first = digitsOf(birthNumber1);
    const std::string second = digitsOf(birthNumber2);
    if (second.empty()) {
        return first;
    }
    return first + "/" + second;
}

} // namespace results
