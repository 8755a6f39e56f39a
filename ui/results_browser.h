#pragma once

#include <QObject>

class QTableView;
class QWidget;

namespace storage {
class Dataset;
}

namespace ui {

// The results browser on the data window: the grid DBGrid1 and the navigator DBNavigator1 over the
// test window's table. Both are hidden at start and shown or hidden together.
class ResultsBrowser : public QObject
{
    Q_OBJECT

public:
    // Places grid and navigator on `client` (the data window's client area). `table` must outlive it.
    ResultsBrowser(storage::Dataset& table, QWidget* client);

    bool isShown() const;
    void setShown(bool shown);

private:
    storage::Dataset& m_table;
    QTableView* m_grid;
    QWidget* m_navigator;
};

} // namespace ui
