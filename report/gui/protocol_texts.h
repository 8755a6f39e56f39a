#pragma once

#include "report/row_issue.h"

#include <optional>

#include <QString>

// The protocol's words: Czech, with the Czech decimal comma.
namespace report::gui {

// `value` with `decimals` places and a decimal comma ("312,6"), without group separators; an en dash
// when empty.
QString czechNumber(const std::optional<double>& value, int decimals);

// The problem in Czech, as one sentence.
QString czechIssue(const RowIssue& issue);

} // namespace report::gui
