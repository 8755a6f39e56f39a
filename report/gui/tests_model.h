#pragma once

#include "report/stored_test.h"

#include <cstdint>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

namespace report::gui {

// The tests of a table for the examiner's list: newest first (the last stored row on top), narrowed by
// a filter on the name or the birth number. Read-only.
class TestsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { DateColumn, SurnameColumn, FirstNameColumn, BirthNumberColumn, RecordColumn, ColumnCount };

    explicit TestsModel(QObject* parent = nullptr);

    // Replaces the tests (in record order, as ResultsReader::identities() gives them). The filter stays.
    void setTests(std::vector<TestIdentity> tests);

    // Shows only the tests whose surname, first name, "first name surname" or birth number contains
    // `text`. Letter case and Czech diacritics do not matter ("novak" finds "Novák"); in a birth number
    // the "/" and blanks do not matter. An empty text shows every test.
    void setFilter(const QString& text);
    const QString& filter() const { return m_filter; }

    // The record number shown in `row`; 0 for a row outside.
    std::uint32_t recordAt(int row) const;
    // The row showing `record`, or -1 when it is filtered out or unknown.
    int rowOf(std::uint32_t record) const;
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

    std::vector<TestIdentity> m_tests; // record order
    std::vector<QString> m_searchText; // per test: names in search form, then birth number digits
    std::vector<int> m_shown;          // indices into m_tests, newest first
    QString m_filter;
};

} // namespace report::gui
