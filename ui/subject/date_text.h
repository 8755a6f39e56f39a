#pragma once

#include <QDate>
#include <QString>

namespace ui {

// The date separator of a date format: its first character outside quotes that is neither a letter
// nor a space; "/" when it has none.
QChar dateSeparator(const QString& shortDateFormat);

// `date` written in `shortDateFormat` and fitted into the date box's mask "!99/99/0000": the first two
// fields (day and month, in the format's order) fill two positions each, right-aligned with a blank in
// front when they have one digit, and the year fills four positions the same way. Always 10
// characters: with "d.M.yyyy" 7 December 2026 reads " 7.12.2026" and 17 January 2026 "17. 1.2026".
// Month names are written as month numbers and weekday names are left out, since the mask holds
// digits only.
QString dateForMask(const QDate& date, const QString& shortDateFormat);

} // namespace ui
