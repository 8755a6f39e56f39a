#pragma once

#include "results/results_table.h"
#include "storage/dataset.h"
#include "ui/browser/db_navigator.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QToolButton>

// Helpers shared by the results browser's tests: a results table in a scratch folder, filled with
// numbered rows, and the bytes of its file.
namespace ui::testing {

// The navigator's enabled buttons as a string of their initials in bar order ("FPNLIDEPCR", "-" for
// a disabled one), so that one comparison shows the whole bar.
inline QString enabledButtons(const DbNavigator& navigator)
{
    static const char initials[] = "FPNLIDEPCR";
    QString out;
    for (int i = 0; i < kNavButtonCount; ++i) {
        out += navigator.button(static_cast<NavButton>(i))->isEnabled() ? QLatin1Char(initials[i]) : QLatin1Char('-');
    }
    return out;
}

class ResultsFolder
{
    QTemporaryDir m_dir; // first: it must outlive the table, which writes its header when closed

public:
    // Opens (creating) tivora4.DBF in a fresh folder and appends `rows` rows: PRIJM "Row<i>",
    // POC_1SER i, PRUMER1 i + 0.5 (stored rounded), for i = 1..rows. The first row is current.
    explicit ResultsFolder(int rows = 0)
    {
        table.setDirectory(m_dir.path().toStdString());
        results::configureResultsTable(table);
        table.open();
        for (int i = 1; i <= rows; ++i) {
            appendRow(i);
        }
        table.first();
    }

    void appendRow(int i)
    {
        table.append();
        table.setValue(0, std::string("Row") + std::to_string(i));
        table.setValue(5, static_cast<std::int64_t>(i));
        table.setValue(9, i + 0.5);
        table.post();
    }

    QString path() const { return QString::fromStdString(table.path()); }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Records in the file (deleted ones included), counted from its size.
    int recordsInFile() const { return (static_cast<int>(fileBytes().size()) - kHeaderLength) / kRecordLength; }

    // The flag byte of record `record` (1-based): ' ' live, '*' deleted.
    char flagInFile(int record) const { return fileBytes().at(offsetOf(record)); }

    // The bytes of field `field` of record `record` as stored, trimmed of spaces.
    QByteArray fieldInFile(int record, std::size_t field) const
    {
        const storage::TableFieldDef& def = results::resultTableFields().at(field);
        std::size_t offset = 1;
        for (std::size_t i = 0; i < field; ++i) {
            offset += static_cast<std::size_t>(results::resultTableFields()[i].width);
        }
        return fileBytes().mid(offsetOf(record) + static_cast<qsizetype>(offset), def.width).trimmed();
    }

    storage::Dataset table;

private:
    static constexpr int kHeaderLength = 833;
    static constexpr int kRecordLength = 2138;
    static qsizetype offsetOf(int record) { return kHeaderLength + static_cast<qsizetype>(record - 1) * kRecordLength; }
};

} // namespace ui::testing
