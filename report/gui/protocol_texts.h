#pragma once

#include "report/row_issue.h"

#include <optional>

#include <QString>

// The protocol's words: Czech, with the Czech decimal comma.
namespace report::gui {

// `value` with `decimals` places and a decimal comma ("312,6"), without group separators; an en dash
// when empty. A value of 10^15 or more, which no reaction time reaches but a damaged row may hold, is
// written with an exponent ("1E+308") instead of its hundreds of digits.
QString czechNumber(const std::optional<double>& value, int decimals);

// `value` in three significant digits, with an exponent where it is large ("4,29E+09"): the shorter form
// for a cell too narrow for czechNumber(). An en dash when empty.
QString czechCompactNumber(const std::optional<double>& value);

// The problem in Czech, as one sentence.
QString czechIssue(const RowIssue& issue);

} // namespace report::gui
