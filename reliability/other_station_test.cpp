// Two stations browse the same results table. While this station shows a row in its grid (or is editing
// it), another station deletes that row. Deleting here must then never remove a different row, and
// saving the edit must never bring the deleted row back. The other station is a process of its own.
#include "reliability/child_process.h"
#include "reliability/stored_rows.h"
#include "results/results_table.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>

namespace reliability {
namespace {

class OtherStationTest : public ::testing::Test
{
protected:
    OtherStationTest()
    {
        storage::Dataset table;
        configureStation(table, m_dir.dir());
        for (int sequence = 1; sequence <= 3; ++sequence) {
            results::ulo_do_DBF(table, resultFor(1, sequence));
        }
        // The other station is started before this one opens the table, so that it shares nothing
        // of this process's open files.
        m_other = std::make_unique<ChildProcess>([this](int fd) {
            m_go.listen();
            m_go.fired(-1);
            storage::Dataset other;
            configureStation(other, m_dir.dir());
            other.open();
            other.moveBy(1); // the second row
            other.deleteRow();
            other.close();
            report(fd, 1);
            return 0;
        });
        configureStation(m_table, m_dir.dir());
        m_table.open();
        m_table.moveBy(1);
    }

    // Lets the other station delete the second row and waits until it has.
    void otherStationDeletesTheSecondRow()
    {
        m_go.fire();
        ASSERT_EQ(m_other->wait(), 0);
        ASSERT_EQ(m_other->reports(), std::vector<int> {1});
    }

    // The flags of the table's records and the sequence number each row holds.
    std::vector<std::pair<unsigned char, int>> records()
    {
        std::vector<std::pair<unsigned char, int>> out;
        for (const ReadRow& row : readTable(m_dir.path(results::kResultsTableName)).rows) {
            const auto* sequence = std::get_if<std::string>(&row.values.at(1));
            out.emplace_back(row.flag, sequence ? std::stoi(*sequence) : 0);
        }
        return out;
    }

    template<typename Body>
    void expectRowDeletedError(Body&& body)
    {
        try {
            body();
            FAIL() << "the row another station deleted must be reported";
        } catch (const storage::StateError& error) {
            EXPECT_STREQ(error.what(), "Table1: The row was deleted by another user");
        }
    }

    storage::testing::TempDir m_dir;
    Signal m_go;
    std::unique_ptr<ChildProcess> m_other;
    storage::Dataset m_table;
};

using Records = std::vector<std::pair<unsigned char, int>>;

TEST_F(OtherStationTest, DeleteOfTheShownRowRemovesNoOtherRow)
{
    ASSERT_EQ(m_table.recordNumber(), 2U);
    otherStationDeletesTheSecondRow();
    expectRowDeletedError([&] { m_table.deleteRow(); });
    EXPECT_EQ(records(), (Records {{' ', 1}, {'*', 2}, {' ', 3}}));
    EXPECT_EQ(m_table.recordNumber(), 3U) << "the nearest live row is shown instead";
    m_table.deleteRow(); // a row still there is deleted as before
    EXPECT_EQ(records(), (Records {{' ', 1}, {'*', 2}, {'*', 3}}));
}

TEST_F(OtherStationTest, DeleteWhileEditingTheShownRowRemovesNoOtherRow)
{
    m_table.setValue(0, std::string("Typed"));
    otherStationDeletesTheSecondRow();
    expectRowDeletedError([&] { m_table.deleteRow(); });
    EXPECT_EQ(m_table.state(), storage::DatasetState::Browse);
    EXPECT_EQ(records(), (Records {{' ', 1}, {'*', 2}, {' ', 3}}));
}

TEST_F(OtherStationTest, SavingAnEditNeverBringsTheDeletedRowBack)
{
    m_table.setValue(0, std::string("Typed"));
    otherStationDeletesTheSecondRow();
    expectRowDeletedError([&] { m_table.post(); });
    EXPECT_EQ(m_table.state(), storage::DatasetState::Browse);
    EXPECT_EQ(m_table.recordNumber(), 3U);
    m_table.close();
    const std::string bytes = wholeFile(m_dir.path(results::kResultsTableName));
    EXPECT_EQ(bytes.find("Typed"), std::string::npos) << "nothing of the edit was written";
    EXPECT_EQ(records(), (Records {{' ', 1}, {'*', 2}, {' ', 3}}));

    m_table.open();
    m_table.moveBy(2);
    m_table.setValue(0, std::string("Again"));
    EXPECT_NO_THROW(m_table.post()) << "a live row is saved as before";
}

} // namespace
} // namespace reliability
