#pragma once

#include "report/test_source.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace central {
class Connection;
}

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
    // Streams through a server-side cursor in one read-only, repeatable-read transaction (one consistent
    // state of the collection), a batch of rows at a time.
    void forEach(const TestFilter& filter, const Visit& visit, const Progress& progress = {}) override;
    // The test numbered `id` (tivora.tests.test_id). Throws ReportError "there is no test N in the
    // database" and "test N is marked deleted".
    SourcedTest read(std::uint64_t id) override;
    // The person's tests at every office, by date (then office, table and record), each named by its
    // office when they come from more than one.
    std::vector<HistoryPoint> history(const SourcedTest& current, const AnalysisOptions& options, DateOrder order,
                                      int currentYear) override;

    // Rows fetched from the cursor at a time.
    static constexpr int kBatch = 2000;

private:
    class Reader;

    std::unique_ptr<central::Connection> m_connection;
    std::unique_ptr<Reader> m_reader; // the trials of the last test read, for read()
};

} // namespace report::database
