#include "ui/browser/browser_test_support.h"
#include "ui/browser/delete_confirmation.h"
#include "ui/browser/results_grid.h"
#include "ui/common/message_box.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace ui {

class ResultsGridTest : public QObject
{
    Q_OBJECT

private:
    // A grid of the data window's size over a results table of `rows` rows, with a text box beside it
    // to take the focus away.
    struct Grid
    {
        explicit Grid(int rows = 0)
            : folder(rows)
        {
            window.resize(540, 360);
            grid = new ResultsGrid(folder.table, &window);
            grid->setGeometry(16, 160, 505, 153);
            other = new QLineEdit(&window);
            other->setGeometry(16, 10, 100, 20);
            window.show();
            window.activateWindow();
            if (!QTest::qWaitForWindowActive(&window)) {
                qWarning("the window did not become active");
            }
            grid->setFocus();
        }
        // Keys go where the focus is: the cell editor while it is open, else the grid.
        QWidget* target() const { return grid->cellEditor() ? static_cast<QWidget*>(grid->cellEditor()) : grid; }
        void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
        {
            QTest::keyClick(target(), key, modifiers);
        }
        // Types `text` a character at a time (Czech letters too, which the test's key table lacks).
        void type(const QString& text) const
        {
            for (const QChar c : text) {
                if (c.unicode() < 0x80) {
                    QTest::keyClick(target(), c.toLatin1());
                    continue;
                }
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(target(), &press);
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(target(), &release);
            }
        }
        std::uint32_t record() const { return folder.table.recordNumber(); }
        storage::DatasetState state() const { return folder.table.state(); }
        QString cell(int column) const
        {
            const ResultsModel* model = grid->resultsModel();
            return model->index(model->currentRow(), column).data().toString();
        }
        RowMark mark() const { return grid->resultsModel()->markAt(grid->resultsModel()->currentRow()); }
        QString editorText() const
        {
            return grid->cellEditor() ? grid->cellEditor()->text() : QStringLiteral("<closed>");
        }
        void goToColumn(int column) const
        {
            key(Qt::Key_Home);
            for (int i = 0; i < column; ++i) {
                key(Qt::Key_Right);
            }
        }

        testing::ResultsFolder folder;
        QWidget window;
        ResultsGrid* grid;
        QLineEdit* other;
    };

    static QStringList shownTexts()
    {
        QStringList texts;
        for (const auto& shown : MessageBox::takeShown()) {
            texts << shown.text;
        }
        return texts;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::takeShown();
    }

    void looksLikeADataGrid()
    {
        Grid g(30);
        QCOMPARE(g.grid->objectName(), QStringLiteral("DBGrid1"));
        QCOMPARE(g.grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(g.grid->horizontalScrollBar()->isVisible());
        QVERIFY(g.grid->showGrid());
        QVERIFY(g.grid->horizontalHeader()->isVisible());
        QVERIFY(g.grid->verticalHeader()->isVisible()); // the indicator column
        QVERIFY(g.grid->horizontalHeader()->sectionsMovable());
        QCOMPARE(g.grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        // As many rows as fit, all of them whole.
        const int rows = g.grid->visibleRowCount();
        QVERIFY(rows >= 4);
        QCOMPARE(g.grid->resultsModel()->rowCount(), rows);
        QVERIFY(g.grid->rowViewportPosition(rows - 1) + g.grid->rowHeight(rows - 1) <= g.grid->viewport()->height());
        const QFontMetrics metrics(g.grid->font());
        QCOMPARE(g.grid->columnWidth(0), metrics.horizontalAdvance(QLatin1Char('0')) * 15 + 4);
        QCOMPARE(g.mark(), RowMark::Browse);
        // The mark is painted beside the current row only.
        const QImage indicator = g.grid->verticalHeader()->viewport()->grab().toImage();
        const auto darkPixels = [&](int row) {
            int dark = 0;
            const int top = g.grid->rowViewportPosition(row);
            for (int y = top; y < top + g.grid->rowHeight(row); ++y) {
                for (int x = 0; x < indicator.width(); ++x) {
                    dark += qGray(indicator.pixel(x, y)) < 64 ? 1 : 0;
                }
            }
            return dark;
        };
        QVERIFY(darkPixels(0) > 5);
        QCOMPARE(darkPixels(1), 0);
        // Moving a column changes only the display: the field order of the table stays.
        g.grid->horizontalHeader()->moveSection(0, 3);
        QCOMPARE(g.folder.table.fields().front().name, std::string("PRIJM"));
        g.grid->horizontalHeader()->moveSection(3, 0);
    }

    void rowKeys()
    {
        Grid g(30);
        const int rows = g.grid->visibleRowCount();
        g.key(Qt::Key_Down);
        QCOMPARE(g.record(), 2u);
        g.key(Qt::Key_Up);
        QCOMPARE(g.record(), 1u);
        g.key(Qt::Key_PageDown);
        QCOMPARE(g.record(), 1u + rows);
        g.key(Qt::Key_PageUp);
        QCOMPARE(g.record(), 1u);
        g.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.record(), 30u);
        QCOMPARE(g.grid->resultsModel()->currentRow(), rows - 1);
        g.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g.record(), 1u);
        // Ctrl with Down or PgDn: the last visible row; with Up or PgUp: the first.
        g.key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(g.record(), static_cast<std::uint32_t>(rows));
        g.key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(g.record(), 1u);
        g.key(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(g.record(), static_cast<std::uint32_t>(rows));
        g.key(Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(g.record(), 1u);
        g.key(Qt::Key_Up);
        QCOMPARE(g.record(), 1u);
    }

    void columnKeys()
    {
        Grid g(3);
        g.key(Qt::Key_Right);
        QCOMPARE(g.grid->currentColumn(), 1);
        QCOMPARE(g.grid->currentIndex().column(), 1);
        g.key(Qt::Key_Left);
        QCOMPARE(g.grid->currentColumn(), 0);
        g.key(Qt::Key_End);
        QCOMPARE(g.grid->currentColumn(), 24);
        g.key(Qt::Key_Home);
        QCOMPARE(g.grid->currentColumn(), 0);
        g.key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(g.grid->currentColumn(), 24);
        g.key(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(g.grid->currentColumn(), 0);
        g.key(Qt::Key_Tab);
        QCOMPARE(g.grid->currentColumn(), 1);
        g.key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(g.grid->currentColumn(), 0);
        g.key(Qt::Key_Backtab, Qt::ShiftModifier); // on the first row there is no previous row
        QCOMPARE(g.grid->currentColumn(), 0);
        QCOMPARE(g.record(), 1u);
        // Shift+Tab before the first column: the last column of the previous row; Tab past the last
        // column: the first column of the next row.
        g.key(Qt::Key_Down);
        g.key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(g.record(), 1u);
        QCOMPARE(g.grid->currentColumn(), 24);
        g.key(Qt::Key_Tab);
        QCOMPARE(g.record(), 2u);
        QCOMPARE(g.grid->currentColumn(), 0);
        // Columns follow the displayed order once a title was dragged elsewhere.
        g.grid->horizontalHeader()->moveSection(0, 2); // PRIJM now shows third
        g.key(Qt::Key_Home);
        QCOMPARE(g.grid->currentColumn(), 1);
        g.key(Qt::Key_Right);
        g.key(Qt::Key_Right);
        QCOMPARE(g.grid->currentColumn(), 0);
    }

    void downOnTheLastRowAppendsAndUpDropsIt()
    {
        Grid g(3);
        const QByteArray before = g.folder.fileBytes();
        g.key(Qt::Key_End, Qt::ControlModifier);
        g.key(Qt::Key_Down);
        QCOMPARE(g.state(), storage::DatasetState::Insert);
        QCOMPARE(g.mark(), RowMark::Insert);
        QCOMPARE(g.grid->resultsModel()->rowCount(), 4);
        g.key(Qt::Key_Down); // an untouched new row at the end stays
        QCOMPARE(g.state(), storage::DatasetState::Insert);
        g.key(Qt::Key_Up);
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        QCOMPARE(g.record(), 3u);
        QCOMPARE(g.grid->resultsModel()->rowCount(), 3);
        QCOMPARE(g.folder.fileBytes(), before);
        // Elsewhere Down drops an untouched new row too.
        g.key(Qt::Key_Up);
        g.key(Qt::Key_Insert);
        QCOMPARE(g.state(), storage::DatasetState::Insert);
        g.key(Qt::Key_Down);
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        QCOMPARE(g.record(), 2u);
        QCOMPARE(g.folder.fileBytes(), before);
    }

    void typedRowIsWrittenWhenAnotherRowBecomesCurrent()
    {
        Grid g(3);
        g.type(QStringLiteral("Novák"));
        QCOMPARE(g.state(), storage::DatasetState::Edit);
        QCOMPARE(g.mark(), RowMark::Edit);
        QCOMPARE(g.editorText(), QStringLiteral("Novák"));
        // Keys the editor does not take (Shift and Ctrl before a letter) that reach the grid while the editor
        // is open end there.
        QTest::keyClick(g.grid, Qt::Key_Shift);
        QTest::keyClick(g.grid, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(g.editorText(), QStringLiteral("Novák"));
        g.key(Qt::Key_Down);
        QCOMPARE(g.record(), 2u);
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        QCOMPARE(g.grid->resultsModel()->index(0, 0).data().toString(), QStringLiteral("Novák"));
        QCOMPARE(g.folder.recordsInFile(), 3);
        QCOMPARE(g.folder.fieldInFile(1, 0), QByteArray("Nov\xA0k")); // stored in code page 852
    }

    void enterStoresAndEscapeRestores()
    {
        Grid g(2);
        g.goToColumn(5); // POC_1SER
        g.key(Qt::Key_F2);
        QCOMPARE(g.editorText(), QStringLiteral("1"));
        QCOMPARE(g.state(), storage::DatasetState::Browse); // opening the editor changes nothing
        g.key(Qt::Key_Enter);
        QCOMPARE(g.editorText(), QStringLiteral("<closed>"));
        g.type(QStringLiteral("40000"));
        g.key(Qt::Key_Return);
        QCOMPARE(shownTexts(),
                 QStringList({QStringLiteral(
                     "40000 is not a valid value for field 'POC_1SER'. The allowed range is -32768 to 32767.")}));
        QCOMPARE(g.state(), storage::DatasetState::Edit);
        QCOMPARE(g.folder.table.value(5), storage::FieldValue {std::int64_t {1}});
        QCOMPARE(g.editorText(), QStringLiteral("40000")); // to correct or to discard
        g.key(Qt::Key_Escape);                             // typed text: the cell shows the field again
        QCOMPARE(g.editorText(), QStringLiteral("<closed>"));
        QCOMPARE(g.cell(5), QStringLiteral("1"));
        QCOMPARE(g.state(), storage::DatasetState::Edit);
        g.key(Qt::Key_Escape); // nothing typed since: the row's changes go
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        // A stored value shows at once and is written by Enter, then a move.
        g.type(QStringLiteral("-12"));
        g.key(Qt::Key_Enter);
        QCOMPARE(g.cell(5), QStringLiteral("-12"));
        QCOMPARE(g.folder.fieldInFile(1, 5), QByteArray("1"));
        g.key(Qt::Key_Down);
        QCOMPARE(g.folder.fieldInFile(1, 5), QByteArray("-12"));
        QVERIFY(shownTexts().isEmpty());
    }

    void conversionMessages_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("not an integer") << 6 << "1+"
                                        << "'1+' is not a valid integer value for field 'POC_2SER'";
        QTest::newRow("too long for the field") << 14 << "1000"
                                                << "Field data too long :4 (must be between 1 and 3).";
        QTest::newRow("not a number") << 10 << "1e+"
                                      << "'1e+' is not a valid floating point value for field 'PRUMER2'";
        QTest::newRow("mean too long") << 11 << "123456789"
                                       << "Field data too long :11 (must be between 1 and 8).";
    }

    void conversionMessages()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        Grid g(1);
        const QString old = g.cell(column);
        g.goToColumn(column);
        g.type(typed);
        g.key(Qt::Key_Enter);
        QCOMPARE(shownTexts(), QStringList({message}));
        QCOMPARE(g.cell(column), old);
        QCOMPARE(g.state(), storage::DatasetState::Edit);
        // The row cannot be left with the text in the editor: Down stops at the same error.
        g.key(Qt::Key_Down);
        QCOMPARE(shownTexts(), QStringList({message}));
        QCOMPARE(g.record(), 1u);
    }

    void editorTakesOnlyWhatTheFieldAccepts()
    {
        Grid g(1);
        g.goToColumn(5);
        g.type(QStringLiteral("a")); // refused: no editor, no edit state
        QCOMPARE(g.editorText(), QStringLiteral("<closed>"));
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        g.type(QStringLiteral("1x2.5"));
        QCOMPARE(g.editorText(), QStringLiteral("125"));
        g.key(Qt::Key_Escape);
        g.key(Qt::Key_Escape);
        g.goToColumn(9); // PRUMER1
        g.type(QStringLiteral("-2.5E1x"));
        QCOMPARE(g.editorText(), QStringLiteral("-2.5E1"));
        g.key(Qt::Key_Enter);
        QCOMPARE(g.cell(9), QStringLiteral("-25"));
        g.goToColumn(3); // RC_2, four characters
        g.type(QStringLiteral("123456"));
        QCOMPARE(g.editorText(), QStringLiteral("1234"));
    }

    void insertedRowIsWrittenBehindTheLastRow()
    {
        Grid g(3);
        g.key(Qt::Key_Down);
        g.key(Qt::Key_Insert);
        QCOMPARE(g.grid->resultsModel()->currentRow(), 1);
        g.type(QStringLiteral("Nový"));
        g.key(Qt::Key_Tab); // stores the text; the row stays new
        QCOMPARE(g.state(), storage::DatasetState::Insert);
        QCOMPARE(g.folder.recordsInFile(), 3);
        g.key(Qt::Key_Up); // another row becomes current: the new row is written at the end
        QCOMPARE(g.folder.recordsInFile(), 4);
        QCOMPARE(g.folder.fieldInFile(4, 0), QByteArray("Nov\xEC"));
        QCOMPARE(g.state(), storage::DatasetState::Browse);
    }

    void ctrlDeleteAsksFirst()
    {
        Grid g(2);
        g.grid->setDeleteConfirmation([&g] { return confirmRowDeletion(&g.window); });
        MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
        g.key(Qt::Key_Delete, Qt::ControlModifier);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].title, QStringLiteral("Confirm"));
        QCOMPARE(shown[0].text, QStringLiteral("Delete record?"));
        QCOMPARE(shown[0].icon, MessageBox::Icon::Question);
        QCOMPARE(g.folder.flagInFile(1), ' ');
        QCOMPARE(g.cell(0), QStringLiteral("Row1"));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        g.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(g.folder.flagInFile(1), '*');
        QCOMPARE(g.cell(0), QStringLiteral("Row2"));
        QCOMPARE(g.grid->resultsModel()->rowCount(), 1);
        g.key(Qt::Key_Delete); // without Ctrl: nothing
        QCOMPARE(g.grid->resultsModel()->rowCount(), 1);
    }

    void clickStoresTheTextAndMoves()
    {
        Grid g(4);
        g.type(QStringLiteral("Klik"));
        const QRect cell = g.grid->visualRect(g.grid->resultsModel()->index(2, 5));
        QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QCOMPARE(g.record(), 3u);
        QCOMPARE(g.grid->currentColumn(), 5);
        QCOMPARE(g.editorText(), QStringLiteral("<closed>"));
        QCOMPARE(g.folder.fieldInFile(1, 0), QByteArray("Klik"));
    }

    void clickTakesTheClickedRowAfterAnotherStationDeletedOne()
    {
        Grid g(5);
        const QRect fourth = g.grid->visualRect(g.grid->resultsModel()->index(3, 0));
        // Another station deletes record 3 while this grid still shows it.
        QFile file(g.folder.path());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(833 + 2 * 2138) && file.write("*", 1) == 1);
        file.close();
        QTest::mouseClick(g.grid->viewport(), Qt::LeftButton, Qt::NoModifier, fourth.center());
        QCOMPARE(g.record(), 4u);
        QCOMPARE(g.cell(0), QStringLiteral("Row4"));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        g.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(g.folder.flagInFile(4), '*');
        QCOMPARE(g.folder.flagInFile(5), ' ');
        QCOMPARE(g.cell(0), QStringLiteral("Row5"));
    }

    void losingTheFocus()
    {
        Grid g(2);
        // An untouched new row is dropped.
        g.key(Qt::Key_Insert);
        g.other->setFocus();
        QCOMPARE(g.state(), storage::DatasetState::Browse);
        QCOMPARE(g.grid->resultsModel()->rowCount(), 2);
        // Typed text is stored into the field; the row stays in edit, unwritten.
        g.grid->setFocus();
        g.type(QStringLiteral("Pryč"));
        g.other->setFocus();
        QCOMPARE(g.state(), storage::DatasetState::Edit);
        QCOMPARE(g.cell(0), QStringLiteral("Pryč"));
        QCOMPARE(g.folder.fieldInFile(1, 0), QByteArray("Row1"));
    }

    void emptyAndClosedTables()
    {
        Grid g;
        QCOMPARE(g.grid->resultsModel()->rowCount(), 0);
        QCOMPARE(g.grid->resultsModel()->columnCount(), 25);
        // Typing into an empty table starts a new row.
        g.type(QStringLiteral("A"));
        QCOMPARE(g.state(), storage::DatasetState::Insert);
        QCOMPARE(g.editorText(), QStringLiteral("A"));
        g.key(Qt::Key_Up); // changed: written, not dropped
        QCOMPARE(g.folder.recordsInFile(), 1);
        QCOMPARE(g.folder.fieldInFile(1, 0), QByteArray("A"));
        g.folder.table.close();
        QCOMPARE(g.grid->resultsModel()->columnCount(), 0);
        g.key(Qt::Key_Down);
        g.type(QStringLiteral("x"));
        QCOMPARE(g.folder.table.state(), storage::DatasetState::Inactive);
    }
};

} // namespace ui

QTEST_MAIN(ui::ResultsGridTest)
#include "results_grid_test.moc"
