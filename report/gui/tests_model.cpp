#include "report/gui/tests_model.h"

namespace report::gui {

namespace {

QString qText(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// The digits of a birth number typed in the filter, or empty when it holds anything else.
QString birthNumberDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit()) {
            digits += c;
        } else if (c != QLatin1Char('/') && c != QLatin1Char(' ')) {
            return {};
        }
    }
    return digits;
}

} // namespace

TestsModel::TestsModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

QString TestsModel::searchForm(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString plain;
    plain.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing) {
            plain += c.toLower();
        }
    }
    return plain;
}

void TestsModel::setTests(std::vector<TestIdentity> tests)
{
    setTests(std::move(tests), {});
    beginResetModel();
    m_hasPlaces = false;
    m_places.clear();
    endResetModel();
}

void TestsModel::setTests(std::vector<TestIdentity> tests, std::vector<TestPlace> places)
{
    beginResetModel();
    m_hasPlaces = true;
    m_places = std::move(places);
    m_places.resize(tests.size());
    m_tests = std::move(tests);
    m_searchText.clear();
    m_searchText.reserve(m_tests.size());
    for (const TestIdentity& test : m_tests) {
        const QString first = qText(test.firstName);
        const QString surname = qText(test.surname);
        // Separated by a character no one types, so a search cannot match across two fields.
        m_searchText.push_back(searchForm(surname + QChar(0x1F) + first + QLatin1Char(' ') + surname + QChar(0x1F))
                               + qText(test.birthNumberKey()));
    }
    applyFilter();
    endResetModel();
}

void TestsModel::setFilter(const QString& text)
{
    beginResetModel();
    m_filter = text;
    applyFilter();
    endResetModel();
}

void TestsModel::applyFilter()
{
    m_shown.clear();
    const QString wanted = searchForm(m_filter.trimmed());
    const QString digits = birthNumberDigits(wanted);
    for (int i = static_cast<int>(m_tests.size()) - 1; i >= 0; --i) {
        const QString& text = m_searchText[static_cast<std::size_t>(i)];
        if (wanted.isEmpty() || text.contains(wanted) || (!digits.isEmpty() && text.contains(digits))) {
            m_shown.push_back(i);
        }
    }
}

std::uint32_t TestsModel::recordAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_shown.size())) {
        return 0;
    }
    return m_tests[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(row)])].record;
}

int TestsModel::rowOf(std::uint32_t record) const
{
    for (std::size_t row = 0; row < m_shown.size(); ++row) {
        if (m_tests[static_cast<std::size_t>(m_shown[row])].record == record) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

std::uint64_t TestsModel::idOf(int index) const
{
    const auto at = static_cast<std::size_t>(index);
    return m_hasPlaces ? m_places[at].id : m_tests[at].record;
}

std::uint64_t TestsModel::idAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_shown.size())) {
        return 0;
    }
    return idOf(m_shown[static_cast<std::size_t>(row)]);
}

int TestsModel::rowOfId(std::uint64_t id) const
{
    for (std::size_t row = 0; row < m_shown.size(); ++row) {
        if (idOf(m_shown[row]) == id) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

std::vector<std::uint64_t> TestsModel::shownIds() const
{
    std::vector<std::uint64_t> ids;
    ids.reserve(m_shown.size());
    for (auto index = m_shown.rbegin(); index != m_shown.rend(); ++index) {
        ids.push_back(idOf(*index));
    }
    return ids;
}

std::vector<std::uint32_t> TestsModel::shownRecords() const
{
    std::vector<std::uint32_t> records;
    records.reserve(m_shown.size());
    for (auto index = m_shown.rbegin(); index != m_shown.rend(); ++index) {
        records.push_back(m_tests[static_cast<std::size_t>(*index)].record);
    }
    return records;
}

int TestsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int TestsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : (m_hasPlaces ? ColumnCount : RecordColumn + 1);
}

QVariant TestsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return index.column() == RecordColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    const auto at = static_cast<std::size_t>(m_shown[static_cast<std::size_t>(index.row())]);
    const TestIdentity& test = m_tests[at];
    switch (index.column()) {
    case DateColumn:
        return qText(test.date);
    case SurnameColumn:
        return qText(test.surname);
    case FirstNameColumn:
        return qText(test.firstName);
    case BirthNumberColumn:
        return qText(test.birthNumberText());
    case RecordColumn:
        return test.record;
    case OfficeColumn:
        return m_hasPlaces ? qText(m_places[at].office) : QVariant();
    case StationColumn:
        return m_hasPlaces ? qText(m_places[at].station) : QVariant();
    default:
        return {};
    }
}

QVariant TestsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case DateColumn:
        return QStringLiteral("Datum");
    case SurnameColumn:
        return QStringLiteral("Příjmení");
    case FirstNameColumn:
        return QStringLiteral("Jméno");
    case BirthNumberColumn:
        return QStringLiteral("Rodné číslo");
    case RecordColumn:
        return QStringLiteral("Záznam");
    case OfficeColumn:
        return QStringLiteral("Pracoviště");
    case StationColumn:
        return QStringLiteral("Stanice");
    default:
        return {};
    }
}

} // namespace report::gui
