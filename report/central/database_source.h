#pragma once

#include "report/test_source.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace central {
class Connection;
class Result;
using Param = std::optional<std::string>;
} // namespace central

// The tests of the central database, as the collector brought them from every office's tables: the
// last version of each test, deleted ones not shown, each read from the record's bytes as collected with
// the table reader's own decoder, and its trials as collected. Only ever read.
namespace report::database {

class DatabaseSource : public TestSource
{
public:
    // Connects as `conninfo` says (a libpq connection string or URI; the password from libpq's password
    // file or PGPASSWORD), giving up after `connectTimeout`, and checks that the collection is there.
    // Throws central::SettingError for a password in `conninfo` and central::ConnectionError /
    // central::DatabaseError ("Cannot connect to the database ...", "... holds no collection of tests").
    explicit DatabaseSource(const std::string& conninfo,
                            std::chrono::seconds connectTimeout = std::chrono::seconds(10));
    ~DatabaseSource() override;
    DatabaseSource(const DatabaseSource&) = delete;
    DatabaseSource& operator=(const DatabaseSource&) = delete;

    std::string describe() const override;
    bool hasPlaces() const override { return true; }
    // Nothing written can replace the database.
    void refuseAsOutput(const std::string&) const override { }
    // Streams through server-side cursors, an office at a time, in one read-only, repeatable-read
    // transaction (one consistent state of the collection), a batch of rows at a time, the next two
    // fetched and decoded on a thread of their own while one is visited.
    void forEach(const TestFilter& filter, const Visit& visit, const Progress& progress = {}) override;
    // The test numbered `id` (tivora.tests.test_id). Throws ReportError "there is no test N in the
    // database" and "test N is marked deleted".
    SourcedTest read(std::uint64_t id) override;
    // The person's tests at every office, by date (then office, table and record), each named by its
    // office when they come from more than one.
    std::vector<HistoryPoint> history(const SourcedTest& current, const AnalysisOptions& options, DateOrder order,
                                      int currentYear) override;

    // Rows fetched from the cursor at a time.
    static constexpr int kBatch = 500;

private:
    class Reader;
    // Sets the office and station of the test of a row.
    using Placed = std::function<void(const central::Result&, int, SourcedTest&)>;

    // Visits the tests `sql` with `params` gives through a cursor, counting them in `done`.
    void stream(const std::string& sql, const std::vector<central::Param>& params, const Placed& placed,
                const Visit& visit, const Progress& progress, std::uint64_t& done);

    std::unique_ptr<central::Connection> m_connection;
    std::unique_ptr<Reader> m_reader; // the trials of the last test read, for read()
};

} // namespace report::database
