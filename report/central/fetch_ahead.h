#pragma once

#include "central/pg.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace report::database {

// Fetches the batches of an open cursor on a thread of its own, a few batches ahead of the one the caller
// is writing, so that neither the server nor the writing waits for the other: the server goes on while
// the report writes, and the report finds the next batch there when it is done. Memory stays bounded by
// `ahead` batches.
class FetchAhead
{
public:
    // Starts running `fetch` (a FETCH of the cursor) on `connection`, which this object uses alone
    // until it is destroyed.
    FetchAhead(central::Connection& connection, std::string fetch, std::size_t ahead = 3);
    // Stops fetching and waits for the statement on its way, so that the connection is free again.
    ~FetchAhead();
    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // The next batch, in order; one without rows once the cursor has given everything. Throws what a
    // FETCH threw (central::DatabaseError, central::ConnectionError).
    central::Result next();

private:
    void run();

    central::Connection& m_connection;
    const std::string m_fetch;
    const std::size_t m_ahead;
    std::mutex m_mutex;
    std::condition_variable m_ready; // a batch, an error or the end is there
    std::condition_variable m_room;  // a batch was taken, or fetching is to stop
    std::deque<central::Result> m_batches;
    std::exception_ptr m_error;
    bool m_finished = false; // the thread fetches no more
    bool m_stop = false;
    std::thread m_thread; // last: started once the rest is ready
};

} // namespace report::database
