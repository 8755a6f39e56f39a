#include "ui/browser/results_browser.h"

#include "storage/dataset.h"
#include "ui/browser/db_navigator.h"
#include "ui/browser/delete_confirmation.h"
#include "ui/browser/results_grid.h"

namespace ui {

ResultsBrowser::ResultsBrowser(storage::Dataset& table, QWidget* client)
    : QObject(client)
    , m_grid(new ResultsGrid(table, client))
    , m_navigator(new DbNavigator(table, client))
{
    m_grid->setGeometry(16, 160, 505, 153);
    m_grid->hide();
    m_navigator->setGeometry(128, 320, 240, 25);
    m_navigator->hide();

    const auto confirm = [client] { return confirmRowDeletion(client->window()); };
    m_grid->setDeleteConfirmation(confirm);
    DbNavigator::GridHooks hooks;
    hooks.takeOverEditorText = [grid = m_grid] { return grid->takeOverEditorText(); };
    hooks.dropEditorText = [grid = m_grid] { grid->dropEditorText(); };
    hooks.confirmDelete = confirm;
    m_navigator->setGridHooks(std::move(hooks));
}

bool ResultsBrowser::isShown() const
{
    return !m_grid->isHidden();
}

bool ResultsBrowser::takeOverEditorText()
{
    return m_grid->takeOverEditorText();
}

void ResultsBrowser::setShown(bool shown)
{
    m_grid->setVisible(shown);
    m_navigator->setVisible(shown);
}

} // namespace ui
