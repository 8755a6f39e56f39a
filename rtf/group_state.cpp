#include "rtf/group_state.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QBrush>
#include <QStringList>

namespace rtf {

namespace {

// Word's own limits: 1638 points, 22 inches.
constexpr int kMaxHalfPoints = 3276;
constexpr int kMaxTwips = 31680;
constexpr int kMaxColourIndex = 1'000'000;

// A toggle word is on unless written with 0 ("\b0").
bool toggle(bool hasParameter, int parameter)
{
    return !hasParameter || parameter != 0;
}

int twips(int parameter)
{
    return std::clamp(parameter, -kMaxTwips, kMaxTwips);
}

QTextCharFormat::UnderlineStyle underlineOf(Word word)
{
    switch (word) {
    case Word::UnderlineDotted:
        return QTextCharFormat::DotLine;
    case Word::UnderlineDash:
        return QTextCharFormat::DashUnderline;
    case Word::UnderlineDashDot:
        return QTextCharFormat::DashDotLine;
    case Word::UnderlineDashDotDot:
        return QTextCharFormat::DashDotDotLine;
    case Word::UnderlineWave:
        return QTextCharFormat::WaveUnderline;
    default:
        return QTextCharFormat::SingleUnderline; // \ul, and \ulw \uldb \ulth, which Qt cannot draw
    }
}

QString letters(int number, char first)
{
    QString text;
    for (int n = number; n > 0; n = (n - 1) / 26) {
        text.prepend(QLatin1Char(static_cast<char>(first + (n - 1) % 26)));
    }
    return text;
}

QString roman(int number)
{
    static constexpr std::array<std::pair<int, const char*>, 13> kParts {{
        {1000, "m"},
        {900, "cm"},
        {500, "d"},
        {400, "cd"},
        {100, "c"},
        {90, "xc"},
        {50, "l"},
        {40, "xl"},
        {10, "x"},
        {9, "ix"},
        {5, "v"},
        {4, "iv"},
        {1, "i"},
    }};
    QString text;
    int rest = number;
    for (const auto& [value, digits] : kParts) {
        for (; rest >= value; rest -= value) {
            text += QLatin1String(digits);
        }
    }
    return text;
}

} // namespace

const FontEntry* DocumentTables::font(int index) const
{
    auto it = fonts.constFind(index < 0 ? defaultFont : index);
    if (it == fonts.constEnd()) {
        it = fonts.constFind(defaultFont);
    }
    return it == fonts.constEnd() ? nullptr : &it.value();
}

CodePage DocumentTables::codePageOf(int index) const
{
    const FontEntry* entry = font(index);
    if (entry != nullptr && entry->charset >= 0) {
        return codePageOfCharset(entry->charset, entry->family).value_or(codePage);
    }
    return codePage;
}

bool applyCharacterWord(CharacterState& state, Word word, bool hasParameter, int parameter)
{
    const bool on = toggle(hasParameter, parameter);
    switch (word) {
    case Word::Plain:
        state = CharacterState {};
        return true;
    case Word::Font:
        state.font = hasParameter ? std::max(parameter, 0) : -1;
        return true;
    case Word::FontSize:
        state.halfPoints = hasParameter && parameter > 0 ? std::min(parameter, kMaxHalfPoints) : kDefaultHalfPoints;
        return true;
    case Word::Bold:
        state.bold = on;
        return true;
    case Word::Italic:
        state.italic = on;
        return true;
    case Word::Strike:
        state.strikeOut = on;
        return true;
    case Word::Hidden:
        state.hidden = on;
        return true;
    case Word::Underline:
    case Word::UnderlineDotted:
    case Word::UnderlineDash:
    case Word::UnderlineDashDot:
    case Word::UnderlineDashDotDot:
    case Word::UnderlineWave:
        state.underline = on ? underlineOf(word) : QTextCharFormat::NoUnderline;
        return true;
    case Word::UnderlineNone:
        state.underline = QTextCharFormat::NoUnderline;
        return true;
    case Word::Caps:
        state.capitalization = on ? QFont::AllUppercase : QFont::MixedCase;
        return true;
    case Word::SmallCaps:
        state.capitalization = on ? QFont::SmallCaps : QFont::MixedCase;
        return true;
    case Word::Superscript:
        state.verticalAlignment = QTextCharFormat::AlignSuperScript;
        return true;
    case Word::Subscript:
        state.verticalAlignment = QTextCharFormat::AlignSubScript;
        return true;
    case Word::NoSuperSub:
        state.verticalAlignment = QTextCharFormat::AlignNormal;
        return true;
    case Word::Colour:
        state.colour = std::clamp(parameter, 0, kMaxColourIndex);
        return true;
    case Word::Background:
        state.background = std::clamp(parameter, 0, kMaxColourIndex);
        return true;
    default:
        return false;
    }
}

bool applyParagraphWord(ParagraphState& state, Word word, bool hasParameter, int parameter)
{
    switch (word) {
    case Word::Pard:
        state = ParagraphState {};
        return true;
    case Word::InTable:
        state.inTable = true;
        return true;
    case Word::AlignLeft:
        state.alignment = Qt::AlignLeft;
        return true;
    case Word::AlignCentre:
        state.alignment = Qt::AlignHCenter;
        return true;
    case Word::AlignRight:
        state.alignment = Qt::AlignRight;
        return true;
    case Word::AlignJustify:
        state.alignment = Qt::AlignJustify;
        return true;
    case Word::LeftIndent:
        state.leftTwips = twips(parameter);
        return true;
    case Word::RightIndent:
        state.rightTwips = twips(parameter);
        return true;
    case Word::FirstIndent:
        state.firstLineTwips = twips(parameter);
        return true;
    case Word::SpaceBefore:
        state.beforeTwips = std::max(twips(parameter), 0);
        return true;
    case Word::SpaceAfter:
        state.afterTwips = std::max(twips(parameter), 0);
        return true;
    case Word::TabRight:
        state.nextTabType = QTextOption::RightTab;
        return true;
    case Word::TabCentre:
        state.nextTabType = QTextOption::CenterTab;
        return true;
    case Word::TabDecimal:
        state.nextTabType = QTextOption::DelimiterTab;
        return true;
    case Word::BarTab: // a vertical bar, not a stop: nothing Qt draws
        state.nextTabType = QTextOption::LeftTab;
        return true;
    case Word::TabStop:
        if (hasParameter && parameter >= 0 && state.tabs.size() < ParagraphState::kMaxTabStops) {
            state.tabs.append(TabStop {twips(parameter), state.nextTabType});
        }
        state.nextTabType = QTextOption::LeftTab;
        return true;
    case Word::ListId:
        state.listId = std::max(parameter, 0);
        return true;
    default:
        return false;
    }
}

bool applyNumberingWord(ListNumbering& numbering, Word word, bool hasParameter, int parameter)
{
    using Style = ListNumbering::Style;
    switch (word) {
    case Word::NumberBullet:
        numbering.style = Style::Bullet;
        return true;
    case Word::NumberBody:
    case Word::NumberDecimal:
        numbering.style = Style::Decimal;
        return true;
    case Word::NumberUpperLetter:
        numbering.style = Style::UpperLetter;
        return true;
    case Word::NumberLowerLetter:
        numbering.style = Style::LowerLetter;
        return true;
    case Word::NumberUpperRoman:
        numbering.style = Style::UpperRoman;
        return true;
    case Word::NumberLowerRoman:
        numbering.style = Style::LowerRoman;
        return true;
    case Word::NumberStart:
        numbering.start = hasParameter ? std::clamp(parameter, 0, kMaxColourIndex) : 1;
        return true;
    case Word::NumberFont:
        numbering.font = std::max(parameter, 0);
        return true;
    default:
        return false;
    }
}

double twipsToPixels(int twips)
{
    return twips / 15.0;
}

QTextCharFormat charFormat(const CharacterState& state, const DocumentTables& tables)
{
    QTextCharFormat format;
    const FontEntry* font = tables.font(state.font);
    const CodePage page = tables.codePageOf(state.font);
    // Text in a symbol font has been mapped to Unicode already; naming the font would only ask for a
    // glyph set that draws letters as symbols a second time.
    if (font != nullptr && !font->family.isEmpty() && page != CodePage::Symbol && page != CodePage::Wingdings) {
        format.setFontFamilies(QStringList {font->family});
    }
    format.setFontPointSize(state.halfPoints / 2.0);
    if (state.bold) {
        format.setFontWeight(QFont::Bold);
    }
    if (state.italic) {
        format.setFontItalic(true);
    }
    if (state.underline != QTextCharFormat::NoUnderline) {
        format.setUnderlineStyle(state.underline);
    }
    if (state.strikeOut) {
        format.setFontStrikeOut(true);
    }
    if (state.capitalization != QFont::MixedCase) {
        format.setFontCapitalization(state.capitalization);
    }
    if (state.verticalAlignment != QTextCharFormat::AlignNormal) {
        format.setVerticalAlignment(state.verticalAlignment);
    }
    if (state.colour < tables.colours.size() && tables.colours[state.colour]) {
        format.setForeground(QBrush(*tables.colours[state.colour]));
    }
    if (state.background > 0 && state.background < tables.colours.size() && tables.colours[state.background]) {
        format.setBackground(QBrush(*tables.colours[state.background]));
    }
    return format;
}

QTextBlockFormat blockFormat(const ParagraphState& state)
{
    QTextBlockFormat format;
    format.setAlignment(state.alignment);
    format.setLeftMargin(twipsToPixels(state.leftTwips));
    format.setRightMargin(twipsToPixels(state.rightTwips));
    format.setTextIndent(twipsToPixels(state.firstLineTwips));
    format.setTopMargin(twipsToPixels(state.beforeTwips));
    format.setBottomMargin(twipsToPixels(state.afterTwips));
    QList<TabStop> stops = state.tabs;
    if (state.firstLineTwips < 0) {
        stops.append(TabStop {state.leftTwips, QTextOption::LeftTab});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const TabStop& a, const TabStop& b) { return a.twips < b.twips; });
    const int lineStart = state.leftTwips + state.firstLineTwips;
    QList<QTextOption::Tab> tabs;
    for (const TabStop& stop : std::as_const(stops)) {
        const double position = twipsToPixels(stop.twips - lineStart);
        if (position > 0 && (tabs.isEmpty() || position > tabs.back().position)) {
            const QChar delimiter = stop.type == QTextOption::DelimiterTab ? QLatin1Char('.') : QChar();
            tabs.append(QTextOption::Tab(position, stop.type, delimiter));
        }
    }
    if (!tabs.isEmpty()) {
        format.setTabPositions(tabs);
    }
    return format;
}

QString numberText(ListNumbering::Style style, int number)
{
    using Style = ListNumbering::Style;
    // Letters and roman numerals exist for positive numbers only; roman ones end at 3999.
    const bool positive = number > 0;
    switch (style) {
    case Style::Decimal:
        return QString::number(number);
    case Style::UpperLetter:
        return positive ? letters(number, 'A') : QString::number(number);
    case Style::LowerLetter:
        return positive ? letters(number, 'a') : QString::number(number);
    case Style::UpperRoman:
        return positive && number < 4000 ? roman(number).toUpper() : QString::number(number);
    case Style::LowerRoman:
        return positive && number < 4000 ? roman(number) : QString::number(number);
    case Style::None:
    case Style::Bullet:
        break;
    }
    return QString();
}

} // namespace rtf
