#include "results/result_record.h"
#include "storage/errors.h"
#include "ui/browser/browser_test_support.h"
#include "ui/browser/results_cells.h"
#include "ui/browser/results_model.h"

#include <QAbstractItemModelTester>
#include <QFontMetrics>
#include <QTest>

Q_DECLARE_METATYPE(storage::FieldValue)

namespace ui {

class ResultsModelTest : public QObject
{
    Q_OBJECT

private:
    static const storage::TableFieldDef& fieldNamed(const char* name)
    {
        for (const auto& field : m_fields) {
            if (field.name == name) {
                return field;
            }
        }
        qFatal("no field %s", name);
    }
    // PRIJM of each row of the window, "*" for a new row.
    static QStringList names(const ResultsModel& model)
    {
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString name = model.index(row, 0).data().toString();
            out << (model.recordAt(row) == 0 ? QStringLiteral("*") : name);
        }
        return out;
    }
    static QStringList rows(std::initializer_list<int> numbers)
    {
        QStringList out;
        for (int n : numbers) {
            out << (n == 0 ? QStringLiteral("*") : QStringLiteral("Row%1").arg(n));
        }
        return out;
    }
    static RowMark mark(const ResultsModel& model)
    {
        return static_cast<RowMark>(
            model.headerData(model.currentRow(), Qt::Vertical, ResultsModel::kMarkRole).toInt());
    }

    static inline std::vector<storage::TableFieldDef> m_fields;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        testing::ResultsFolder folder;
        m_fields = folder.table.fields(); // as read back from a file, with kinds
    }

    void cellTextRules_data()
    {
        QTest::addColumn<storage::FieldValue>("value");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");
        using V = storage::FieldValue;
        QTest::newRow("null") << V {} << "C"
                              << "";
        QTest::newRow("text") << V {std::string("Nováková")} << "C"
                              << "Nováková";
        QTest::newRow("integer") << V {std::int64_t {42}} << "C"
                                 << "42";
        QTest::newRow("negative integer") << V {std::int64_t {-7}} << "C"
                                          << "-7";
        QTest::newRow("stored mean") << V {313.0} << "C"
                                     << "313";
        QTest::newRow("fraction") << V {312.5} << "C"
                                  << "312.5";
        QTest::newRow("Czech separator") << V {312.5} << "cs_CZ"
                                         << "312,5";
        QTest::newRow("no group separator") << V {12345678.0} << "cs_CZ"
                                            << "12345678";
        QTest::newRow("15 digits") << V {0.1 + 0.2} << "C"
                                   << "0.3";
        QTest::newRow("large") << V {1e20} << "C"
                               << "1E20";
        QTest::newRow("small") << V {0.00001} << "C"
                               << "1E-5";
        QTest::newRow("not yet small") << V {0.0001} << "C"
                                       << "0.0001";
        QTest::newRow("negative zero") << V {-0.0} << "C"
                                       << "0";
    }

    void cellTextRules()
    {
        QFETCH(storage::FieldValue, value);
        QFETCH(QString, locale);
        QFETCH(QString, shown);
        QCOMPARE(cellText(value, QLocale(locale)), shown);
    }

    void typedTextIsConverted()
    {
        const QLocale c = QLocale::c();
        const QLocale czech(QStringLiteral("cs_CZ"));
        QVERIFY(storage::isNull(cellValue(fieldNamed("POC_1SER"), QString(), c)));
        QVERIFY(storage::isNull(cellValue(fieldNamed("PRIJM"), QString(), c)));
        QCOMPARE(std::get<std::int64_t>(cellValue(fieldNamed("POC_1SER"), QStringLiteral("  12"), c)), 12);
        QCOMPARE(std::get<std::int64_t>(cellValue(fieldNamed("POC_1SER"), QStringLiteral("-5"), c)), -5);
        QCOMPARE(std::get<double>(cellValue(fieldNamed("PRUMER1"), QStringLiteral("1,5"), czech)), 1.5);
        QCOMPARE(std::get<double>(cellValue(fieldNamed("PRUMER1"), QStringLiteral("2.5E2"), c)), 250.0);
        QCOMPARE(std::get<std::string>(cellValue(fieldNamed("PRIJM"), QStringLiteral("Žák"), c)), std::string("Žák"));
    }

    void typedTextErrors_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("message");
        QTest::newRow("range")
            << "POC_1SER"
            << "40000"
            << "C"
            << "40000 is not a valid value for field 'POC_1SER'. The allowed range is -32768 to 32767";
        QTest::newRow("below range") << "POC_PRED4"
                                     << "-32769"
                                     << "C"
                                     << "-32769 is not a valid value for field 'POC_PRED4'. The allowed range is "
                                        "-32768 to 32767";
        QTest::newRow("not an integer") << "POC_2SER"
                                        << "1-2"
                                        << "C"
                                        << "'1-2' is not a valid integer value for field 'POC_2SER'";
        QTest::newRow("sign only") << "POC_2SER"
                                   << "+"
                                   << "C"
                                   << "'+' is not a valid integer value for field 'POC_2SER'";
        QTest::newRow("not a number") << "PRUMER2"
                                      << "1e"
                                      << "C"
                                      << "'1e' is not a valid floating point value for field 'PRUMER2'";
        QTest::newRow("foreign separator") << "PRUMER2"
                                           << "1.5"
                                           << "cs_CZ"
                                           << "'1.5' is not a valid floating point value for field 'PRUMER2'";
        QTest::newRow("quoted as typed") << "PRUMER3"
                                         << "1,5,5"
                                         << "cs_CZ"
                                         << "'1,5,5' is not a valid floating point value for field 'PRUMER3'";
    }

    void typedTextErrors()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, locale);
        QFETCH(QString, message);
        try {
            cellValue(fieldNamed(field.toLatin1().constData()), text, QLocale(locale));
            QFAIL("no error");
        } catch (const storage::FieldValueError& error) {
            QCOMPARE(QString::fromUtf8(error.what()), message);
        }
    }

    void charactersAcceptedPerKind()
    {
        const QLocale czech(QStringLiteral("cs_CZ"));
        for (QChar c : QStringLiteral("+-0123456789")) {
            QVERIFY(acceptsCharacter(fieldNamed("POC_1SER"), c, czech));
            QVERIFY(acceptsCharacter(fieldNamed("PRUMER1"), c, czech));
        }
        for (QChar c : QStringLiteral("Ee,")) {
            QVERIFY(!acceptsCharacter(fieldNamed("POC_1SER"), c, czech));
            QVERIFY(acceptsCharacter(fieldNamed("PRUMER1"), c, czech));
        }
        for (QChar c : QStringLiteral(". aX")) {
            QVERIFY(!acceptsCharacter(fieldNamed("POC_1SER"), c, czech));
            QVERIFY(!acceptsCharacter(fieldNamed("PRUMER1"), c, czech));
            QVERIFY(acceptsCharacter(fieldNamed("SER1A"), c, czech));
        }
        QVERIFY(acceptsCharacter(fieldNamed("PRUMER1"), QLatin1Char('.'), QLocale::c()));
    }

    void columnWidthFormula()
    {
        const QFontMetrics metrics(QFont(QStringLiteral("MS Sans Serif"), 8));
        const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
        QCOMPARE(columnWidth(metrics, fieldNamed("PRIJM")), 15 * digit + 4);
        QCOMPARE(columnWidth(metrics, fieldNamed("RC_2")),
                 std::max(4 * digit + 4, metrics.horizontalAdvance(QStringLiteral("RC_2")) + 4));
        QCOMPARE(columnWidth(metrics, fieldNamed("SER4B")), 254 * digit + 4);
        QCOMPARE(columnWidth(metrics, fieldNamed("POC_PRED1")),
                 std::max(10 * digit + 4, metrics.horizontalAdvance(QStringLiteral("POC_PRED1")) + 4));
        QCOMPARE(displayWidth(fieldNamed("PRUMER1")), 10);
        QCOMPARE(displayWidth(fieldNamed("DATE")), 12);
    }

    void columnsAreTheFieldsInSchemaOrder()
    {
        testing::ResultsFolder folder;
        ResultsModel model(folder.table);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // An empty table: the titles only.
        QCOMPARE(model.columnCount(), 25);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.currentRow(), -1);
        QStringList titles;
        for (int column = 0; column < model.columnCount(); ++column) {
            titles << model.headerData(column, Qt::Horizontal).toString();
        }
        QCOMPARE(titles.first(), QStringLiteral("PRIJM"));
        QCOMPARE(titles.at(5), QStringLiteral("POC_1SER"));
        QCOMPARE(titles.at(17), QStringLiteral("SER1A"));
        QCOMPARE(titles.last(), QStringLiteral("SER4B"));
        // Closed: no columns, no rows.
        folder.table.close();
        QCOMPARE(model.columnCount(), 0);
        QCOMPARE(model.rowCount(), 0);
        folder.table.open();
        QCOMPARE(model.columnCount(), 25);
    }

    void cellsShowTheStoredValues()
    {
        testing::ResultsFolder folder(2);
        // A one-digit day is stored with a leading space and shown without it.
        folder.table.first();
        folder.table.setValue(4, std::string(" 7.12.2026"));
        folder.table.post();
        ResultsModel model(folder.table);
        model.setWindowSize(5);
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Row1"));
        QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("7.12.2026"));
        QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("1"));
        QCOMPARE(model.index(1, 9).data().toString(), QStringLiteral("3")); // 2.5 stored rounded
        QCOMPARE(model.index(1, 10).data().toString(), QString());          // null
        QVERIFY(model.index(0, 5).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        QVERIFY(model.index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    }

    void windowFollowsTheCurrentRow()
    {
        testing::ResultsFolder folder(20);
        ResultsModel model(folder.table);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setWindowSize(5);
        QCOMPARE(names(model), rows({1, 2, 3, 4, 5}));
        QCOMPARE(model.currentRow(), 0);
        // Within the window only the indicator moves.
        folder.table.moveBy(3);
        QCOMPARE(names(model), rows({1, 2, 3, 4, 5}));
        QCOMPARE(model.currentRow(), 3);
        // Past the bottom the rows scroll by one.
        folder.table.moveBy(2);
        QCOMPARE(names(model), rows({2, 3, 4, 5, 6}));
        QCOMPARE(model.currentRow(), 4);
        folder.table.last();
        QCOMPARE(names(model), rows({16, 17, 18, 19, 20}));
        QCOMPARE(model.currentRow(), 4);
        folder.table.moveBy(-4);
        folder.table.prior();
        QCOMPARE(names(model), rows({15, 16, 17, 18, 19}));
        QCOMPARE(model.currentRow(), 0);
        folder.table.first();
        QCOMPARE(names(model), rows({1, 2, 3, 4, 5}));
        // A bigger window keeps its top row and fills from below.
        model.setWindowSize(7);
        QCOMPARE(names(model), rows({1, 2, 3, 4, 5, 6, 7}));
        folder.table.last();
        model.setWindowSize(3);
        QCOMPARE(names(model), rows({18, 19, 20}));
        QCOMPARE(mark(model), RowMark::Browse);
    }

    void newRowsEditsAndDeletes()
    {
        testing::ResultsFolder folder(8);
        ResultsModel model(folder.table);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setWindowSize(4);
        folder.table.moveBy(2); // Row3
        folder.table.insert();
        QCOMPARE(names(model), rows({1, 2, 0, 3}));
        QCOMPARE(model.currentRow(), 2);
        QCOMPARE(mark(model), RowMark::Insert);
        QCOMPARE(model.headerData(2, Qt::Vertical, ResultsModel::kRecordRole).toInt(), 0);
        QCOMPARE(model.headerData(3, Qt::Vertical, ResultsModel::kMarkRole).toInt(), static_cast<int>(RowMark::None));
        folder.table.cancel();
        QCOMPARE(names(model), rows({1, 2, 3, 4}));
        QCOMPARE(model.currentRow(), 2);
        // Editing marks the row; a stored text shows at once.
        model.storeText(0, QStringLiteral("Changed"));
        QCOMPARE(mark(model), RowMark::Edit);
        QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("Changed"));
        QVERIFY(!model.setData(model.index(2, 5), QStringLiteral("40000")));
        QCOMPARE(model.index(2, 5).data().toString(), QStringLiteral("3"));
        QVERIFY(model.setData(model.index(2, 5), QStringLiteral("33")));
        folder.table.post();
        QCOMPARE(mark(model), RowMark::Browse);
        QCOMPARE(folder.fieldInFile(3, 5), QByteArray("33"));
        // A deleted row disappears; the next row takes its place.
        folder.table.deleteRow();
        QCOMPARE(names(model), rows({1, 2, 4, 5}));
        QCOMPARE(model.currentRow(), 2);
        // A new row at the end shows below the last row.
        folder.table.append();
        QCOMPARE(names(model), rows({6, 7, 8, 0}));
        QCOMPARE(model.currentRow(), 3);
        model.storeText(0, QStringLiteral("Nine"));
        folder.table.post();
        QCOMPARE(model.index(model.currentRow(), 0).data().toString(), QStringLiteral("Nine"));
        QCOMPARE(model.recordAt(model.currentRow()), 9u);
        QCOMPARE(model.rowOfRecord(8), model.currentRow() - 1);
    }

    void insertedRowMovesToTheEndWhenPosted()
    {
        testing::ResultsFolder folder(10);
        ResultsModel model(folder.table);
        model.setWindowSize(4);
        folder.table.next();
        folder.table.insert();
        model.storeText(0, QStringLiteral("New"));
        folder.table.post();
        // Written behind the last row, where it is shown from then on.
        QCOMPARE(names(model), rows({8, 9, 10}) << QStringLiteral("New"));
        QCOMPARE(model.currentRow(), 3);
        QCOMPARE(folder.fieldInFile(11, 0), QByteArray("New"));
    }
};

} // namespace ui

QTEST_MAIN(ui::ResultsModelTest)
#include "results_model_test.moc"
