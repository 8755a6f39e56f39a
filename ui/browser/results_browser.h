#pragma once

#include <QObject>

class QWidget;

namespace storage {
class Dataset;
}

namespace ui {

class DbNavigator;
class ResultsGrid;

// The results browser on the data window: the grid DBGrid1 and the navigator DBNavigator1 over the
// test window's table. The browser never opens, closes or creates the table; it shows it and calls
// its row operations. Both parts are hidden at start and shown or hidden together.
class ResultsBrowser : public QObject
{
    Q_OBJECT

public:
    // Places grid and navigator on `client` (the data window's client area), hidden. `table` must
    // outlive the browser.
    ResultsBrowser(storage::Dataset& table, QWidget* client);

    bool isShown() const;
    void setShown(bool shown);

    // Stores the text typed into the grid's open cell editor into its field, before an operation from
    // outside the browser settles the row. False, with the error shown, when the text does not convert.
    bool takeOverEditorText();

    ResultsGrid* grid() const { return m_grid; }
    DbNavigator* navigator() const { return m_navigator; }

private:
    ResultsGrid* m_grid;
    DbNavigator* m_navigator;
};

} // namespace ui
