#pragma once

#include "storage/field_codec.h"

#include <QChar>
#include <QLocale>
#include <QString>

class QFontMetrics;

// How the results grid turns field values into cell text and typed text back into field values, and
// how wide its columns are. Free functions, so that the rules can be checked without a widget.
namespace ui {

// The text a cell shows: a text field as read (the table engine has trimmed it), an integer in plain
// decimal digits with "-" in front of a negative one, a floating-point number in the general format
// (cellNumber()), and nothing for null.
QString cellText(const storage::FieldValue& value, const QLocale& locale = QLocale());

// A floating-point number in the general format: at most 15 significant digits, no trailing zeros,
// `locale`'s decimal separator and no group separators; an exponent ("1E20", "1E-5") only when the
// decimal exponent is 15 or more or below -4. So the stored mean 313 shows as "313".
QString cellNumber(double value, const QLocale& locale = QLocale());

// The value that storing the text of a cell editor gives `field`: null for an empty text, the text
// itself for a text field, and for a numeric field the number the text denotes (leading spaces
// skipped; a floating-point field reads `locale`'s decimal separator). Throws storage::FieldValueError
// with the examiner's message ("'%s' is not a valid integer value for field '%s'", the range message,
// "'%s' is not a valid floating point value for field '%s'"), always quoting the text as typed.
storage::FieldValue cellValue(const storage::TableFieldDef& field, const QString& text,
                              const QLocale& locale = QLocale());

// Whether a cell editor of `field` takes the typed character `c`: any character for a text field;
// "+", "-" and the digits for an integer field; those, `locale`'s decimal separator, "E" and "e" for
// a floating-point field.
bool acceptsCharacter(const storage::TableFieldDef& field, QChar c, const QLocale& locale = QLocale());

// Whether `field` holds numbers (integer or floating point); their cells are right-aligned.
bool isNumberField(const storage::TableFieldDef& field);

// Characters the column of `field` is sized for: the field width for text fields, 10 for numbers.
int displayWidth(const storage::TableFieldDef& field);

// Column width in pixels: (width of "0" minus the font's overhang) x displayWidth() + overhang + 4,
// but at least the width of the field's name + 4. Qt reports no overhang; it counts as 0.
int columnWidth(const QFontMetrics& metrics, const storage::TableFieldDef& field);

} // namespace ui
