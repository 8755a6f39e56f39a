#pragma once

#include "report/test_source.h"

#include <set>
#include <string>

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace report::gui {

// The choice of the database's tests the window lists: an office, a station, a period and a person, as
// the command line's --office, --station, --from, --to and --person choose them. Empty fields choose
// all. "Použít" or Enter in a field asks for the list again (applied()).
class DatabaseFilterBar : public QWidget
{
    Q_OBJECT

public:
    explicit DatabaseFilterBar(QWidget* parent = nullptr);

    // The filter the fields give. Throws ReportError for a date that is not YYYY-MM-DD and a person
    // that is not a birth number.
    TestFilter filter() const;
    // Offers `offices` and `stations` in the lists of the fields (beside those offered before); what
    // the fields hold stays.
    void offer(const std::set<std::string>& offices, const std::set<std::string>& stations);

signals:
    void applied();

private:
    QComboBox* m_office = nullptr;
    QComboBox* m_station = nullptr;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QLineEdit* m_person = nullptr;
    QPushButton* m_apply = nullptr;
};

} // namespace report::gui
