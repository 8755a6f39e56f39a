#include "rtf/control_words.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include <QChar>

namespace rtf {

namespace {

using Entry = std::pair<std::string_view, Word>;

// Sorted by name (byte order) for lookupWord's binary search.
constexpr std::array kWords {
    Entry {"aftncn", Word::IgnoredDestination},
    Entry {"aftnsep", Word::IgnoredDestination},
    Entry {"aftnsepc", Word::IgnoredDestination},
    Entry {"annotation", Word::IgnoredDestination},
    Entry {"ansi", Word::Ansi},
    Entry {"ansicpg", Word::AnsiCodePage},
    Entry {"atnauthor", Word::IgnoredDestination},
    Entry {"atndate", Word::IgnoredDestination},
    Entry {"atnicn", Word::IgnoredDestination},
    Entry {"atnid", Word::IgnoredDestination},
    Entry {"atnparent", Word::IgnoredDestination},
    Entry {"atnref", Word::IgnoredDestination},
    Entry {"atntime", Word::IgnoredDestination},
    Entry {"atrfend", Word::IgnoredDestination},
    Entry {"atrfstart", Word::IgnoredDestination},
    Entry {"author", Word::IgnoredDestination},
    Entry {"b", Word::Bold},
    Entry {"background", Word::IgnoredDestination},
    Entry {"bkmkend", Word::IgnoredDestination},
    Entry {"bkmkstart", Word::IgnoredDestination},
    Entry {"blue", Word::Blue},
    Entry {"bullet", Word::BulletChar},
    Entry {"buptim", Word::IgnoredDestination},
    Entry {"caps", Word::Caps},
    Entry {"cb", Word::Background},
    Entry {"cell", Word::Cell},
    Entry {"cf", Word::Colour},
    Entry {"chcbpat", Word::Background},
    Entry {"colorschememapping", Word::IgnoredDestination},
    Entry {"colortbl", Word::ColourTable},
    Entry {"comment", Word::IgnoredDestination},
    Entry {"company", Word::IgnoredDestination},
    Entry {"creatim", Word::IgnoredDestination},
    Entry {"datafield", Word::IgnoredDestination},
    Entry {"datastore", Word::IgnoredDestination},
    Entry {"deff", Word::DefaultFont},
    Entry {"do", Word::IgnoredDestination},
    Entry {"doccomm", Word::IgnoredDestination},
    Entry {"docvar", Word::IgnoredDestination},
    Entry {"emdash", Word::EmDash},
    Entry {"emspace", Word::EmSpace},
    Entry {"endash", Word::EnDash},
    Entry {"enspace", Word::EnSpace},
    Entry {"f", Word::Font},
    Entry {"falt", Word::IgnoredDestination},
    Entry {"fchars", Word::IgnoredDestination},
    Entry {"fcharset", Word::Charset},
    Entry {"fi", Word::FirstIndent},
    Entry {"filetbl", Word::IgnoredDestination},
    Entry {"fldinst", Word::IgnoredDestination},
    Entry {"fname", Word::IgnoredDestination},
    Entry {"fonttbl", Word::FontTable},
    Entry {"footer", Word::IgnoredDestination},
    Entry {"footerf", Word::IgnoredDestination},
    Entry {"footerl", Word::IgnoredDestination},
    Entry {"footerr", Word::IgnoredDestination},
    Entry {"footnote", Word::IgnoredDestination},
    Entry {"fs", Word::FontSize},
    Entry {"ftncn", Word::IgnoredDestination},
    Entry {"ftnsep", Word::IgnoredDestination},
    Entry {"ftnsepc", Word::IgnoredDestination},
    Entry {"generator", Word::IgnoredDestination},
    Entry {"green", Word::Green},
    Entry {"header", Word::IgnoredDestination},
    Entry {"headerf", Word::IgnoredDestination},
    Entry {"headerl", Word::IgnoredDestination},
    Entry {"headerr", Word::IgnoredDestination},
    Entry {"highlight", Word::Background},
    Entry {"hlinkbase", Word::IgnoredDestination},
    Entry {"i", Word::Italic},
    Entry {"info", Word::IgnoredDestination},
    Entry {"intbl", Word::InTable},
    Entry {"keywords", Word::IgnoredDestination},
    Entry {"latentstyles", Word::IgnoredDestination},
    Entry {"lchars", Word::IgnoredDestination},
    Entry {"ldblquote", Word::LeftDoubleQuote},
    Entry {"li", Word::LeftIndent},
    Entry {"lin", Word::LeftIndent},
    Entry {"line", Word::Line},
    Entry {"listoverridetable", Word::IgnoredDestination},
    Entry {"listpicture", Word::IgnoredDestination},
    Entry {"listtable", Word::IgnoredDestination},
    Entry {"listtext", Word::ListText},
    Entry {"lquote", Word::LeftQuote},
    Entry {"ls", Word::ListId},
    Entry {"ltrmark", Word::LeftToRightMark},
    Entry {"mac", Word::OtherCharacterSet},
    Entry {"manager", Word::IgnoredDestination},
    Entry {"mmathPr", Word::IgnoredDestination},
    Entry {"nestcell", Word::Cell},
    Entry {"nestrow", Word::Row},
    Entry {"nesttableprops", Word::IgnoredDestination},
    Entry {"nonshppict", Word::IgnoredDestination},
    Entry {"nosupersub", Word::NoSuperSub},
    Entry {"objalias", Word::IgnoredDestination},
    Entry {"objclass", Word::IgnoredDestination},
    Entry {"objdata", Word::IgnoredDestination},
    Entry {"object", Word::IgnoredDestination},
    Entry {"objname", Word::IgnoredDestination},
    Entry {"objsect", Word::IgnoredDestination},
    Entry {"objtime", Word::IgnoredDestination},
    Entry {"operator", Word::IgnoredDestination},
    Entry {"page", Word::Line},
    Entry {"panose", Word::IgnoredDestination},
    Entry {"par", Word::Par},
    Entry {"pard", Word::Pard},
    Entry {"pc", Word::OtherCharacterSet},
    Entry {"pca", Word::OtherCharacterSet},
    Entry {"pgdsctbl", Word::IgnoredDestination},
    Entry {"pict", Word::IgnoredDestination},
    Entry {"plain", Word::Plain},
    Entry {"pn", Word::Numbering},
    Entry {"pndec", Word::NumberDecimal},
    Entry {"pnf", Word::NumberFont},
    Entry {"pnlcltr", Word::NumberLowerLetter},
    Entry {"pnlcrm", Word::NumberLowerRoman},
    Entry {"pnlvl", Word::NumberBody},
    Entry {"pnlvlblt", Word::NumberBullet},
    Entry {"pnlvlbody", Word::NumberBody},
    Entry {"pnstart", Word::NumberStart},
    Entry {"pntext", Word::ListText},
    Entry {"pntxta", Word::NumberingAfter},
    Entry {"pntxtb", Word::NumberingBefore},
    Entry {"pnucltr", Word::NumberUpperLetter},
    Entry {"pnucrm", Word::NumberUpperRoman},
    Entry {"printim", Word::IgnoredDestination},
    Entry {"private", Word::IgnoredDestination},
    Entry {"protusertbl", Word::IgnoredDestination},
    Entry {"qc", Word::AlignCentre},
    Entry {"qd", Word::AlignJustify},
    Entry {"qj", Word::AlignJustify},
    Entry {"ql", Word::AlignLeft},
    Entry {"qmspace", Word::QuarterEmSpace},
    Entry {"qr", Word::AlignRight},
    Entry {"rdblquote", Word::RightDoubleQuote},
    Entry {"red", Word::Red},
    Entry {"revtbl", Word::IgnoredDestination},
    Entry {"revtim", Word::IgnoredDestination},
    Entry {"ri", Word::RightIndent},
    Entry {"rin", Word::RightIndent},
    Entry {"row", Word::Row},
    Entry {"rquote", Word::RightQuote},
    Entry {"rsidtbl", Word::IgnoredDestination},
    Entry {"rtlmark", Word::RightToLeftMark},
    Entry {"rxe", Word::IgnoredDestination},
    Entry {"sa", Word::SpaceAfter},
    Entry {"sb", Word::SpaceBefore},
    Entry {"scaps", Word::SmallCaps},
    Entry {"sect", Word::Par},
    Entry {"shp", Word::IgnoredDestination},
    Entry {"shppict", Word::IgnoredDestination},
    Entry {"strike", Word::Strike},
    Entry {"striked", Word::Strike},
    Entry {"stylesheet", Word::IgnoredDestination},
    Entry {"sub", Word::Subscript},
    Entry {"subject", Word::IgnoredDestination},
    Entry {"super", Word::Superscript},
    Entry {"tab", Word::Tab},
    Entry {"tb", Word::BarTab},
    Entry {"tc", Word::IgnoredDestination},
    Entry {"template", Word::IgnoredDestination},
    Entry {"themedata", Word::IgnoredDestination},
    Entry {"title", Word::IgnoredDestination},
    Entry {"tqc", Word::TabCentre},
    Entry {"tqdec", Word::TabDecimal},
    Entry {"tqr", Word::TabRight},
    Entry {"tx", Word::TabStop},
    Entry {"txe", Word::IgnoredDestination},
    Entry {"u", Word::Unicode},
    Entry {"uc", Word::UnicodeSkip},
    Entry {"ul", Word::Underline},
    Entry {"uld", Word::UnderlineDotted},
    Entry {"uldash", Word::UnderlineDash},
    Entry {"uldashd", Word::UnderlineDashDot},
    Entry {"uldashdd", Word::UnderlineDashDotDot},
    Entry {"uldb", Word::Underline},
    Entry {"ulhwave", Word::UnderlineWave},
    Entry {"ulldash", Word::UnderlineDash},
    Entry {"ulnone", Word::UnderlineNone},
    Entry {"ulth", Word::Underline},
    Entry {"ulthdash", Word::UnderlineDash},
    Entry {"ululdbwave", Word::UnderlineWave},
    Entry {"ulw", Word::Underline},
    Entry {"ulwave", Word::UnderlineWave},
    Entry {"userprops", Word::IgnoredDestination},
    Entry {"v", Word::Hidden},
    Entry {"wgrffmtfilter", Word::IgnoredDestination},
    Entry {"writereservation", Word::IgnoredDestination},
    Entry {"xe", Word::IgnoredDestination},
    Entry {"xmlnstbl", Word::IgnoredDestination},
    Entry {"zwj", Word::ZeroWidthJoiner},
    Entry {"zwnj", Word::ZeroWidthNonJoiner},
};

constexpr bool isSortedByName()
{
    for (std::size_t i = 1; i < kWords.size(); ++i) {
        if (!(kWords[i - 1].first < kWords[i].first)) {
            return false;
        }
    }
    return true;
}
static_assert(isSortedByName(), "lookupWord() searches kWords by halving");

} // namespace

Word lookupWord(QByteArrayView name)
{
    const std::string_view key(name.data(), static_cast<std::size_t>(name.size()));
    const auto it = std::lower_bound(kWords.begin(), kWords.end(), key,
                                     [](const Entry& entry, std::string_view k) { return entry.first < k; });
    return it != kWords.end() && it->first == key ? it->second : Word::Unknown;
}

bool isReadDestination(Word word)
{
    switch (word) {
    case Word::FontTable:
    case Word::ColourTable:
    case Word::ListText:
    case Word::Numbering:
    case Word::NumberingBefore:
    case Word::NumberingAfter:
        return true;
    default:
        return false;
    }
}

char32_t specialCharacter(Word word)
{
    switch (word) {
    case Word::Line:
        return QChar::LineSeparator;
    case Word::Tab:
        return '\t';
    case Word::EmDash:
        return 0x2014;
    case Word::EnDash:
        return 0x2013;
    case Word::BulletChar:
        return 0x2022;
    case Word::LeftQuote:
        return 0x2018;
    case Word::RightQuote:
        return 0x2019;
    case Word::LeftDoubleQuote:
        return 0x201C;
    case Word::RightDoubleQuote:
        return 0x201D;
    case Word::EmSpace:
        return 0x2003;
    case Word::EnSpace:
        return 0x2002;
    case Word::QuarterEmSpace:
        return 0x2005;
    case Word::ZeroWidthJoiner:
        return 0x200D;
    case Word::ZeroWidthNonJoiner:
        return 0x200C;
    case Word::LeftToRightMark:
        return 0x200E;
    case Word::RightToLeftMark:
        return 0x200F;
    default:
        return 0;
    }
}

} // namespace rtf
