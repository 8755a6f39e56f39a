#include "report/gui/database_filter_bar.h"

#include "report/report_error.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace report::gui {

namespace {

std::optional<CalendarDate> dateOf(const QLineEdit* field, const char* what)
{
    const std::string text = field->text().trimmed().toStdString();
    if (text.empty()) {
        return std::nullopt;
    }
    const auto date = parseIsoDate(text);
    if (!date) {
        throw ReportError(std::string(what) + " „" + text + "“ není datum ve tvaru RRRR-MM-DD");
    }
    return date;
}

QComboBox* placeField(const QString& objectName, QWidget* parent)
{
    auto* field = new QComboBox(parent);
    field->setObjectName(objectName);
    field->setEditable(true);
    field->setInsertPolicy(QComboBox::NoInsert);
    field->addItem(QString());
    field->setMinimumContentsLength(12);
    return field;
}

QLineEdit* textField(const QString& objectName, const QString& placeholder, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setPlaceholderText(placeholder);
    field->setClearButtonEnabled(true);
    return field;
}

} // namespace

DatabaseFilterBar::DatabaseFilterBar(QWidget* parent)
    : QWidget(parent)
{
    m_office = placeField(QStringLiteral("officeComboBox"), this);
    m_station = placeField(QStringLiteral("stationComboBox"), this);
    m_from = textField(QStringLiteral("fromLineEdit"), QStringLiteral("RRRR-MM-DD"), this);
    m_to = textField(QStringLiteral("toLineEdit"), QStringLiteral("RRRR-MM-DD"), this);
    m_person = textField(QStringLiteral("personLineEdit"), QStringLiteral("rodné číslo"), this);
    m_apply = new QPushButton(QStringLiteral("Použít"), this);
    m_apply->setObjectName(QStringLiteral("applyFilterPushButton"));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Pracoviště:"), this), 0, 0);
    layout->addWidget(m_office, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Stanice:"), this), 0, 2);
    layout->addWidget(m_station, 0, 3);
    layout->addWidget(new QLabel(QStringLiteral("Od:"), this), 1, 0);
    layout->addWidget(m_from, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Do:"), this), 1, 2);
    layout->addWidget(m_to, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Osoba:"), this), 2, 0);
    layout->addWidget(m_person, 2, 1, 1, 2);
    layout->addWidget(m_apply, 2, 3);
    setFocusProxy(m_office);
    connect(m_apply, &QPushButton::clicked, this, &DatabaseFilterBar::applied);
    for (QLineEdit* field : {m_office->lineEdit(), m_station->lineEdit(), m_from, m_to, m_person}) {
        connect(field, &QLineEdit::returnPressed, this, &DatabaseFilterBar::applied);
    }
}

TestFilter DatabaseFilterBar::filter() const
{
    TestFilter filter;
    filter.office = m_office->currentText().trimmed().toStdString();
    filter.station = m_station->currentText().trimmed().toStdString();
    filter.from = dateOf(m_from, "Datum od");
    filter.to = dateOf(m_to, "Datum do");
    // The digits as the birth-number key holds them; "850101/1234" as it is written is taken too.
    const QString person = m_person->text();
    for (const QChar c : person) {
        if (c.isDigit() && c.unicode() < 128) {
            filter.person += static_cast<char>(c.unicode());
        } else if (c != QLatin1Char('/') && c != QLatin1Char(' ')) {
            throw ReportError("Osoba „" + person.toStdString() + "“ není rodné číslo");
        }
    }
    return filter;
}

void DatabaseFilterBar::offer(const std::set<std::string>& offices, const std::set<std::string>& stations)
{
    const auto add = [](QComboBox* field, const std::set<std::string>& names) {
        for (const std::string& name : names) {
            const QString text = QString::fromStdString(name);
            if (!text.isEmpty() && field->findText(text, Qt::MatchExactly) < 0) {
                const QString held = field->currentText();
                field->addItem(text);
                field->setEditText(held);
            }
        }
    };
    add(m_office, offices);
    add(m_station, stations);
}

} // namespace report::gui
