#include "report/gui/protocol_texts.h"

#include <cmath>

#include <QLocale>

namespace report::gui {

namespace {

QString quoted(const std::string& text)
{
    return QStringLiteral("„%1“").arg(QString::fromStdString(printableText(text)));
}

QString field(const RowIssue& issue)
{
    return QString::fromStdString(issue.field);
}

const QLocale& czechLocale()
{
    static const QLocale czech = [] {
        QLocale locale(QLocale::Czech, QLocale::CzechRepublic);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    return czech;
}

QString notEvaluated(const RowIssue& issue)
{
    return QStringLiteral("; %1. série se nevyhodnocuje.").arg(issue.series);
}

} // namespace

QString czechNumber(const std::optional<double>& value, int decimals)
{
    if (!value) {
        return QStringLiteral("–");
    }
    if (std::fabs(*value) >= 1e15) {
        return czechLocale().toString(*value, 'g', 6);
    }
    return czechLocale().toString(*value, 'f', decimals);
}

QString czechCompactNumber(const std::optional<double>& value)
{
    return value ? czechLocale().toString(*value, 'g', 3) : QStringLiteral("–");
}

QString czechIssue(const RowIssue& issue)
{
    switch (issue.kind) {
    case IssueKind::NumberFieldInvalid:
        return QStringLiteral("Pole %1 neobsahuje číslo (%2).").arg(field(issue), quoted(issue.text));
    case IssueKind::ListCharacter:
        return QStringLiteral("Seznam %1: znak č. %2 (%3) není číslice ani „|“")
                   .arg(field(issue))
                   .arg(issue.position)
                   .arg(static_cast<unsigned char>(issue.text.empty() ? 0 : issue.text[0]) < 0x20U
                            ? QStringLiteral("bajt %1").arg(static_cast<int>(issue.text[0]))
                            : quoted(issue.text))
            + notEvaluated(issue);
    case IssueKind::ListEmptyValue:
        return QStringLiteral("Seznam %1: „|“ na pozici %2 nemá před sebou hodnotu")
                   .arg(field(issue))
                   .arg(issue.position)
            + notEvaluated(issue);
    case IssueKind::ListValueTooLarge:
        return QStringLiteral("Seznam %1: hodnota %2 je pro reakční dobu příliš velká")
                   .arg(field(issue), QString::fromStdString(printableText(issue.text)))
            + notEvaluated(issue);
    case IssueKind::ListUnterminated:
        return QStringLiteral("Seznam %1: poslední hodnota %2 nemá za sebou „|“").arg(field(issue), quoted(issue.text))
            + notEvaluated(issue);
    case IssueKind::ListCut:
        return QStringLiteral("Seznam %1 byl v tabulce zkrácen na šířku pole; useknutá hodnota %2 se nepočítá.")
            .arg(field(issue), quoted(issue.text));
    case IssueKind::CountDiffers:
        return QStringLiteral("%1. série: seznamy obsahují %2 hodnot, pole %3 uvádí %4.")
            .arg(issue.series)
            .arg(czechNumber(issue.actual, 0), field(issue), czechNumber(issue.expected, 0));
    case IssueKind::MeanDiffers:
        return QStringLiteral("%1. série: uložený průměr (%2 = %3) se liší od průměru ze seznamu (%4 ms).")
            .arg(issue.series)
            .arg(field(issue), czechNumber(issue.expected, 0), czechNumber(issue.actual, 1));
    case IssueKind::MeanFromShortTotal:
        return QStringLiteral("%1. série: uložený průměr (%2 = %3) byl spočten ze součtu omezeného na 16 bitů "
                              "(starší verze programu); průměr ze seznamu je %4 ms.")
            .arg(issue.series)
            .arg(field(issue), czechNumber(issue.expected, 0), czechNumber(issue.actual, 1));
    case IssueKind::TimingValueImplausible:
        return QStringLiteral("Záznam časování uvádí na řádku %1 (%2. série) rt_us %3, což není reakční doba %4 ms; "
                              "použity jsou hodnoty z tabulky.")
            .arg(issue.position)
            .arg(issue.series)
            .arg(QString::fromStdString(printableText(issue.text)), czechNumber(issue.expected, 0));
    case IssueKind::TimingLineDamaged:
        return QStringLiteral("Řádek %1 záznamu časování u tohoto vyšetření nelze přečíst; použity jsou hodnoty "
                              "z tabulky.")
            .arg(issue.position);
    }
    return {};
}

} // namespace report::gui
