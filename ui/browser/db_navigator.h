#pragma once

#include "ui/browser/browser_pictures.h"

#include <array>
#include <functional>

#include <QWidget>

class QToolButton;

namespace storage {
class Dataset;
}

namespace ui {

// DBNavigator1: ten buttons side by side, each 24 pixels wide and as high as the bar, that move
// through the table and change it: First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel and
// Refresh. Their enabled states follow the table after every change it reports; while the table is
// closed all are disabled and a click does nothing. The bar is not a tab stop and its buttons never
// take the keyboard focus, so clicking them leaves the focus in the grid. Prior and Next repeat while
// held: first 400 ms after the press, then every 100 ms.
class DbNavigator : public QWidget
{
    Q_OBJECT

public:
    // What the navigator needs from the grid beside it. Each may be empty.
    struct GridHooks
    {
        // Stores the text typed into an open cell editor into its field; false when storing failed
        // (the error has been shown), which stops the button's action.
        std::function<bool()> takeOverEditorText;
        // Closes an open cell editor without storing its text (Cancel, Delete).
        std::function<void()> dropEditorText;
        // Asks whether to delete the current row; true to delete. Empty: delete without asking.
        std::function<bool()> confirmDelete;
    };

    // A navigator over `table`, which must outlive it.
    DbNavigator(storage::Dataset& table, QWidget* parent = nullptr);
    ~DbNavigator() override;

    void setGridHooks(GridHooks hooks) { m_hooks = std::move(hooks); }

    QToolButton* button(NavButton which) const { return m_buttons[static_cast<std::size_t>(which)]; }
    // The hint of a button: "First record", "Prior record", ..., "Refresh data".
    static QString hint(NavButton which);

    // Runs the action of a button, as a click does: nothing while the table is closed or the button
    // is disabled; errors are shown by the default error handler.
    void click(NavButton which);

    // Recomputes the enabled states from the table (done after every change the table reports).
    void updateButtons();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void act(NavButton which);
    bool takeOverEditorText();

    storage::Dataset& m_table;
    int m_listener = 0;
    GridHooks m_hooks;
    std::array<QToolButton*, kNavButtonCount> m_buttons {};
};

} // namespace ui
