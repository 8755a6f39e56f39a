#include "ui/subject/subject_check.h"

#include "engine/integer_conversion.h"

namespace ui {

std::optional<SubjectFault> checkSubject(const SubjectTexts& texts)
{
    if (texts.surname.isEmpty() || texts.surname == QLatin1String(" ")) {
        return SubjectFault::NoSurname;
    }
    if (texts.birthNumber1 == QLatin1String("      ")) {
        return SubjectFault::NoBirthNumber1;
    }
    if (texts.birthNumber2 == QLatin1String("    ")) {
        return SubjectFault::NoBirthNumber2;
    }
    if (!engine::tryToInteger(texts.birthNumber1.toStdString())) {
        return SubjectFault::BirthNumber1NotANumber;
    }
    return std::nullopt;
}

} // namespace ui
