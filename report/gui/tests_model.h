#pragma once

#include "report/stored_test.h"

#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

namespace report::gui {

// Where a test of the central database was taken, and the number the database gives it.
struct TestPlace
{
    std::uint64_t id = 0;
    std::string office;
    std::string station;
};

// The tests of a table for the examiner's list: newest first (the last stored row on top), narrowed by
// a filter on the name or the birth number. Read-only.
class TestsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The office and station columns are there only for tests with places (the database's).
    enum Column {
        DateColumn,
        SurnameColumn,
        FirstNameColumn,
        BirthNumberColumn,
        RecordColumn,
        OfficeColumn,
        StationColumn,
        ColumnCount
    };

    explicit TestsModel(QObject* parent = nullptr);

    // Replaces the tests (in record order, as ResultsReader::identities() gives them). The filter stays.
    void setTests(std::vector<TestIdentity> tests);
    // Replaces the tests with the database's, `places[i]` where `tests[i]` was taken (as the source
    // gives them, the last on top). The office and station become columns; a test is named by its id.
    void setTests(std::vector<TestIdentity> tests, std::vector<TestPlace> places);
    bool hasPlaces() const { return m_hasPlaces; }

    // Shows only the tests whose surname, first name, "first name surname" or birth number contains
    // `text`. Letter case and Czech diacritics do not matter ("novak" finds "Novák"); in a birth number
    // the "/" and blanks do not matter. An empty text shows every test.
    void setFilter(const QString& text);
    const QString& filter() const { return m_filter; }

    // The record number shown in `row`; 0 for a row outside.
    std::uint32_t recordAt(int row) const;
    // The row showing `record`, or -1 when it is filtered out or unknown.
    int rowOf(std::uint32_t record) const;
    // How the source names the test in `row`: the database's test number, a table's record number; 0 for
    // a row outside.
    std::uint64_t idAt(int row) const;
    // The row showing the test named `id`, or -1.
    int rowOfId(std::uint64_t id) const;
    // The ids of the tests shown, in the source's order.
    std::vector<std::uint64_t> shownIds() const;
    // Records of the tests shown, in table order (oldest first), for an export.
    std::vector<std::uint32_t> shownRecords() const;
    // Number of tests in all, shown or not.
    int totalCount() const { return static_cast<int>(m_tests.size()); }
    // The identity of every test (record order).
    const std::vector<TestIdentity>& tests() const { return m_tests; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // `text` in lower case with the diacritics removed, as the filter compares.
    static QString searchForm(const QString& text);

private:
    void applyFilter();

    std::uint64_t idOf(int index) const;

    std::vector<TestIdentity> m_tests; // record order
    std::vector<TestPlace> m_places;   // per test, with places only
    bool m_hasPlaces = false;
    std::vector<QString> m_searchText; // per test: names in search form, then birth number digits
    std::vector<int> m_shown;          // indices into m_tests, newest first
    QString m_filter;
};

} // namespace report::gui
