#include "ui/results_browser.h"

#include "storage/dataset.h"

#include <QTableView>

namespace ui {

ResultsBrowser::ResultsBrowser(storage::Dataset& table, QWidget* client)
    : QObject(client)
    , m_table(table)
    , m_grid(new QTableView(client))
    , m_navigator(new QWidget(client))
{
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setGeometry(16, 160, 505, 153);
    m_grid->hide();
    m_navigator->setObjectName(QStringLiteral("DBNavigator1"));
    m_navigator->setGeometry(128, 320, 240, 25);
    m_navigator->hide();
}

bool ResultsBrowser::isShown() const
{
    return m_grid->isVisible();
}

void ResultsBrowser::setShown(bool shown)
{
    m_grid->setVisible(shown);
    m_navigator->setVisible(shown);
}

} // namespace ui
