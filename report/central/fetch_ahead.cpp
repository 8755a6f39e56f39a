#include "report/central/fetch_ahead.h"

#include <utility>

namespace report::database {

FetchAhead::FetchAhead(central::Connection& connection, std::string fetch, std::size_t ahead)
    : m_connection(connection)
    , m_fetch(std::move(fetch))
    , m_ahead(ahead < 1 ? 1 : ahead)
    , m_thread([this] { run(); })
{ }

FetchAhead::~FetchAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    m_thread.join();
}

central::Result FetchAhead::next()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return !m_batches.empty() || m_finished; });
    if (m_batches.empty()) {
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        return central::Result(); // the end was given already
    }
    central::Result batch = std::move(m_batches.front());
    m_batches.pop_front();
    m_room.notify_all();
    return batch;
}

void FetchAhead::run()
{
    std::exception_ptr error;
    try {
        for (bool last = false; !last;) {
            central::Result batch = m_connection.execBinary(m_fetch);
            last = batch.rows() == 0;
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

} // namespace report::database
