#include "ui/browser/results_cells.h"

#include "storage/errors.h"
#include "text/messages.h"

#include <algorithm>

#include <QFontMetrics>

namespace ui {

namespace {

bool isIntegerKind(storage::FieldKind kind)
{
    using storage::FieldKind;
    return kind == FieldKind::Int16 || kind == FieldKind::Int32 || kind == FieldKind::Int64;
}

bool isNumberKind(storage::FieldKind kind)
{
    return isIntegerKind(kind) || kind == storage::FieldKind::Float;
}

bool isSignOrDigit(QChar c)
{
    return c == QLatin1Char('+') || c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

} // namespace

QString cellText(const storage::FieldValue& value, const QLocale& locale)
{
    if (const auto* text = std::get_if<std::string>(&value)) {
        return QString::fromStdString(*text);
    }
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return QString::number(*whole);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return cellNumber(*number, locale);
    }
    return QString();
}

QString cellNumber(double value, const QLocale& locale)
{
    if (value == 0.0) {
        return QStringLiteral("0"); // also for -0, which has no sign of its own in the table
    }
    // The C-locale rendering has the thresholds of the general format; only the separator and the
    // exponent's spelling differ ("1e+20" is shown as "1E20", "1e-05" as "1E-5").
    QString text = QString::number(value, 'g', 15);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        const int exponent = text.mid(e + 1).toInt();
        text = text.left(e) + QLatin1Char('E') + QString::number(exponent);
    }
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

storage::FieldValue cellValue(const storage::TableFieldDef& field, const QString& text, const QLocale& locale)
{
    if (text.isEmpty()) {
        return storage::FieldValue {};
    }
    const std::string typed = text.toStdString();
    if (field.kind != storage::FieldKind::Float) {
        // Text stays text; integers are read (and range-checked) by the field's own assignment check.
        return isIntegerKind(field.kind) ? storage::checkAssignment(field, typed) : storage::FieldValue {typed};
    }
    const QString point = locale.decimalPoint();
    const auto invalid = [&] {
        return storage::FieldValueError(text::formatMessage(storage::messages::kInvalidFloat, {typed, field.name}));
    };
    if (point != QLatin1String(".") && text.contains(QLatin1Char('.'))) {
        throw invalid(); // "." is not this system's separator
    }
    QString plain = text;
    plain.replace(point, QStringLiteral("."));
    try {
        return storage::checkAssignment(field, plain.toStdString());
    } catch (const storage::FieldValueError&) {
        throw invalid(); // quote the text as the examiner typed it, separator included
    }
}

bool acceptsCharacter(const storage::TableFieldDef& field, QChar c, const QLocale& locale)
{
    if (isIntegerKind(field.kind)) {
        return isSignOrDigit(c);
    }
    if (field.kind == storage::FieldKind::Float) {
        return isSignOrDigit(c) || c == QLatin1Char('E') || c == QLatin1Char('e')
            || QString(c) == locale.decimalPoint();
    }
    return true;
}

bool isNumberField(const storage::TableFieldDef& field)
{
    return isNumberKind(field.kind);
}

int displayWidth(const storage::TableFieldDef& field)
{
    return isNumberKind(field.kind) ? 10 : field.width;
}

int columnWidth(const QFontMetrics& metrics, const storage::TableFieldDef& field)
{
    constexpr int kOverhang = 0;
    const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
    const int byDigits = (digit - kOverhang) * displayWidth(field) + kOverhang + 4;
    const int byTitle = metrics.horizontalAdvance(QString::fromStdString(field.name)) + 4;
    return std::max(byDigits, byTitle);
}

} // namespace ui
