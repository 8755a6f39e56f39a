#pragma once

#include "central/pg.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace report::database {

// Fetches the batches of an open cursor on a thread of its own, a few batches ahead of the one the caller
// is writing, and turns each into a `Batch` there, so that neither the server nor the writing waits for
// the other: the server goes on and the next rows are made ready while the report writes, and the report
// finds the next batch there when it is done. Memory stays bounded by `ahead` batches. A batch the caller
// is done with can be given back, to be made again on the fetching thread: what it holds is then freed,
// or used again, by the thread that made it.
template<typename Batch = central::Result>
class FetchAhead
{
public:
    // Makes a batch of fetched rows, given a batch given back (or an empty one) to use again; called on
    // the fetching thread for every FETCH, the last (without rows) included. May throw; next() then
    // throws it.
    using Convert = std::function<Batch(central::Result&& rows, Batch&& spent)>;

    // Starts running `fetch` (a FETCH of the cursor) on `connection`, which this object uses alone
    // until it is destroyed; `convert` makes each batch (by default the rows themselves).
    FetchAhead(
        central::Connection& connection, std::string fetch, std::size_t ahead = 3,
        Convert convert = [](central::Result&& rows, Batch&&) { return std::move(rows); })
        : m_connection(connection)
        , m_fetch(std::move(fetch))
        , m_ahead(ahead < 1 ? 1 : ahead)
        , m_convert(std::move(convert))
        , m_thread([this] { run(); })
    { }

    // Stops fetching and waits for the statement on its way, so that the connection is free again.
    ~FetchAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_room.notify_all();
        m_thread.join();
    }

    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // The next batch, in order; the one made of a FETCH without rows once the cursor has given everything,
    // and an empty Batch after it. Throws what a FETCH or `convert` threw (central::DatabaseError,
    // central::ConnectionError, ...).
    Batch next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_batches.empty() || m_finished; });
        if (m_batches.empty()) {
            if (m_error) {
                std::rethrow_exception(m_error);
            }
            return Batch(); // the end was given already
        }
        Batch batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_room.notify_all();
        return batch;
    }

    // Hands a batch from next() back, for the fetching thread to free or fill again.
    void giveBack(Batch&& spent)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_spent.push_back(std::move(spent));
    }

private:
    void run()
    {
        std::exception_ptr error;
        try {
            for (bool last = false; !last;) {
                central::Result rows = m_connection.execBinary(m_fetch);
                last = rows.rows() == 0;
                Batch spent;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    if (!m_spent.empty()) {
                        spent = std::move(m_spent.front());
                        m_spent.pop_front();
                    }
                }
                Batch batch = m_convert(std::move(rows), std::move(spent));
                std::unique_lock<std::mutex> lock(m_mutex);
                m_room.wait(lock, [this] { return m_stop || m_batches.size() < m_ahead; });
                if (m_stop) {
                    break;
                }
                m_batches.push_back(std::move(batch));
                m_ready.notify_all();
            }
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = error;
        m_finished = true;
        m_ready.notify_all();
    }

    central::Connection& m_connection;
    const std::string m_fetch;
    const std::size_t m_ahead;
    const Convert m_convert;
    std::mutex m_mutex;
    std::condition_variable m_ready; // a batch, an error or the end is there
    std::condition_variable m_room;  // a batch was taken, or fetching is to stop
    std::deque<Batch> m_batches;
    std::deque<Batch> m_spent; // given back, to be made again
    std::exception_ptr m_error;
    bool m_finished = false; // the thread fetches no more
    bool m_stop = false;
    std::thread m_thread; // last: started once the rest is ready
};

} // namespace report::database
