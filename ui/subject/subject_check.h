#pragma once

#include "ui/session/subject_source.h"

#include <optional>

namespace ui {

// What "Data  OK" finds wrong with the identity typed into the data window, by the box the examiner
// must correct.
enum class SubjectFault {
    NoSurname,              // Edit2 is empty or one space
    NoBirthNumber1,         // MaskEdit2 (the birth number's first part) holds no digit
    NoBirthNumber2,         // MaskEdit3 (its second part) holds no digit
    BirthNumber1NotANumber, // MaskEdit2 has a blank between or after its digits
};

// The first fault of `texts` (as the boxes report them) in the order above, or nothing when the test may
// start with them. The first name and the date are not checked; a surname of two spaces passes, and so
// does a first part with blanks only in front.
std::optional<SubjectFault> checkSubject(const SubjectTexts& texts);

} // namespace ui
