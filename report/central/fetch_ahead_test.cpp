// Batches fetched ahead come in order and complete, however many are ahead; they are made on the fetching
// thread, from the ones given back; left early or failing, the connection is free for the next statement.
#include "central/test_server.h"
#include "report/central/fetch_ahead.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace report::database {
namespace {

using central::testing::TestServer;

class FetchAheadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static const std::string database = TestServer::shared().createDatabase(false);
        m_db = TestServer::shared().connect(database);
        m_db->exec("BEGIN");
    }

    // A cursor `name` over the numbers 1 to 10,000.
    void declare(const std::string& name)
    {
        m_db->exec("DECLARE " + name + " NO SCROLL CURSOR FOR SELECT n::text FROM generate_series(1, 10000) n");
    }

    std::unique_ptr<central::Connection> m_db;
};

TEST_F(FetchAheadTest, EveryRowComesInOrderWhateverIsAhead)
{
    for (const std::size_t ahead : {1U, 3U}) {
        const std::string cursor = "numbers_" + std::to_string(ahead);
        declare(cursor);
        FetchAhead batches(*m_db, "FETCH 7 FROM " + cursor, ahead);
        int expected = 1;
        for (central::Result rows = batches.next(); rows.rows() > 0; rows = batches.next()) {
            for (int i = 0; i < rows.rows(); ++i, ++expected) {
                ASSERT_EQ(rows.view(i, 0), std::to_string(expected)) << "ahead " << ahead;
            }
        }
        EXPECT_EQ(expected, 10001) << "ahead " << ahead;
        EXPECT_EQ(batches.next().rows(), 0); // and stays at the end
    }
}

TEST_F(FetchAheadTest, LeftEarlyOrFailingItFreesTheConnection)
{
    declare("numbers");
    {
        FetchAhead batches(*m_db, "FETCH 100 FROM numbers");
        EXPECT_EQ(batches.next().view(0, 0), "1");
    }
    EXPECT_EQ(m_db->exec("SELECT 1").text(0, 0), "1");
    {
        FetchAhead batches(*m_db, "FETCH 100 FROM no_such_cursor");
        EXPECT_THROW(batches.next(), central::DatabaseError);
        EXPECT_THROW(batches.next(), central::DatabaseError);
    }
    m_db->exec("ROLLBACK");
    EXPECT_EQ(m_db->exec("SELECT 2").text(0, 0), "2");
}

TEST_F(FetchAheadTest, BatchesAreMadeOnTheFetchingThreadFromTheOnesGivenBack)
{
    declare("made");
    const std::thread::id reader = std::this_thread::get_id();
    std::vector<std::string> spentSeen; // by the fetching thread, read once it is done
    std::set<std::string> givenBack;
    {
        // Each batch made into its first number.
        FetchAhead<std::string> batches(*m_db, "FETCH 1000 FROM made", 1,
                                        [&](central::Result&& rows, std::string&& spent) {
                                            EXPECT_NE(std::this_thread::get_id(), reader);
                                            if (!spent.empty()) {
                                                spentSeen.push_back(spent);
                                            }
                                            return rows.rows() == 0 ? std::string() : std::string(rows.view(0, 0));
                                        });
        for (std::string batch = batches.next(); !batch.empty(); batch = batches.next()) {
            givenBack.insert(batch);
            batches.giveBack(std::move(batch));
        }
    }
    // From the fourth batch on, the first has been given back before a batch is made.
    ASSERT_FALSE(spentSeen.empty());
    EXPECT_EQ(std::set<std::string>(spentSeen.begin(), spentSeen.end()).size(), spentSeen.size());
    for (const std::string& spent : spentSeen) {
        EXPECT_EQ(givenBack.count(spent), 1U) << spent;
    }
    m_db->exec("ROLLBACK");
}

TEST_F(FetchAheadTest, AFailureToMakeABatchReachesTheReader)
{
    declare("failing");
    int made = 0;
    {
        FetchAhead<std::string> batches(*m_db, "FETCH 100 FROM failing", 1, [&](central::Result&& rows, std::string&&) {
            if (++made == 2) {
                throw std::runtime_error("the second batch is not in the form expected");
            }
            return std::string(rows.view(0, 0));
        });
        EXPECT_EQ(batches.next(), "1");
        try {
            batches.next();
            ADD_FAILURE() << "the second batch's failure did not come through";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "the second batch is not in the form expected");
        }
    }
    EXPECT_EQ(made, 2);
    m_db->exec("ROLLBACK");
    EXPECT_EQ(m_db->exec("SELECT 3").text(0, 0), "3");
}

} // namespace
} // namespace report::database
