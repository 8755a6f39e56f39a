#include "ui/session/window_system_clock.h"

#include <cstring>
#include <optional>
#include <poll.h>
#include <xcb/damage.h>
#include <xcb/sync.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>

namespace ui {

namespace {

// How long a damage notification may take to follow the reply that confirmed its frame: both leave
// the server in the same round of output, so this is only a bound for a server that is not X.Org's.
constexpr int kNotificationWaitMs = 50;

// The DAMAGE notifications of one window, on a connection of our own (Qt's would take them into its
// own event queue, to be seen only after the handler that needs them has returned).
class DamageWatch
{
public:
    ~DamageWatch()
    {
        if (m_connection) {
            xcb_disconnect(m_connection);
        }
    }

    // Starts watching `window` afresh; false when the server cannot be reached or has no DAMAGE (then
    // and on every later call: the frame is then stamped without waiting for a notification).
    //
    // The server reports a drawing to the newest damage object of the window first, and writing a
    // report to a client that waits for one may let the system switch to that client (a compositor, a
    // screen recorder) before the server gets to the next report. A new object for every frame makes
    // ours the newest, so that its report, and its time, come first, right after the drawing.
    bool watch(xcb_window_t window)
    {
        m_window = 0;
        if (!m_connection) {
            m_connection = xcb_connect(nullptr, nullptr);
            const xcb_query_extension_reply_t* damage = xcb_connection_has_error(m_connection)
                ? nullptr
                : xcb_get_extension_data(m_connection, &xcb_damage_id);
            m_usable = damage && damage->present;
            if (!m_usable) {
                return false;
            }
            m_firstEvent = damage->first_event;
            free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
        }
        if (!m_usable || xcb_connection_has_error(m_connection)) {
            return false;
        }
        if (m_damage) {
            xcb_damage_destroy(m_connection, m_damage);
            m_damage = 0;
        }
        m_damage = xcb_generate_id(m_connection);
        // Checked: the round trip also makes sure the object exists before the frame is drawn.
        xcb_generic_error_t* error = xcb_request_check(
            m_connection,
            xcb_damage_create_checked(m_connection, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES));
        free(error);
        // A connection that broke meanwhile reports no error for the request, and no notification ever.
        if (error || xcb_connection_has_error(m_connection)) {
            return false;
        }
        m_window = window;
        return true;
    }

    // The server's time of the first drawing into the window at or after `since` (server
    // milliseconds), the frame's beginning, from the notifications that have come in (waiting for one
    // when none has); nullopt when none comes. Every notification that has come in is consumed.
    std::optional<std::uint32_t> first(std::uint32_t since)
    {
        std::optional<std::uint32_t> time = drain(since);
        if (!time) {
            pollfd request {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            if (::poll(&request, 1, kNotificationWaitMs) > 0) {
                time = drain(since);
            }
        }
        return time;
    }

    // Forgets notifications that have come in.
    void discard() { drain(0); }
    bool watching(xcb_window_t window) const { return m_connection && m_window == window; }

private:
    // The first notification's time at or after `since` (every one when 0), consuming all.
    std::optional<std::uint32_t> drain(std::uint32_t since)
    {
        std::optional<std::uint32_t> time;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if (!time && (event->response_type & 0x7F) == m_firstEvent + XCB_DAMAGE_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                const std::uint32_t at = notify->timestamp;
                // Reports of an earlier object, still on their way, belong to earlier frames.
                if (notify->damage == m_damage && (since == 0 || static_cast<std::int32_t>(at - since) >= 0)) {
                    time = at;
                }
            }
            free(event);
        }
        return time;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_damage_damage_t m_damage = 0;
    xcb_window_t m_window = 0;
    std::uint8_t m_firstEvent = 0;
    bool m_usable = false;
};

class X11Clock final : public WindowSystemClock
{
public:
    X11Clock(engine::Clock& clock, xcb_connection_t* connection, xcb_sync_counter_t counter)
        : WindowSystemClock(clock)
        , m_connection(connection)
        , m_counter(counter)
    { }

    void beforeFrame(QWidget& window) override
    {
        m_watched = m_damage.watch(static_cast<xcb_window_t>(window.winId()));
        if (m_watched) {
            // Everything drawn so far has been sent; once the server has it, its notifications are
            // the past. A notification that comes in late anyway is told apart by its time.
            m_paintFrom = serverTime();
            m_damage.discard();
        }
    }

    void keepAwake() override
    {
        // A request that needs no answer: the server wakes to read it, and nothing here waits for it.
        xcb_no_operation(m_connection);
        xcb_flush(m_connection);
    }

    engine::FrameStamp frameOut(QWidget& window) override
    {
        // Only a watch set up before the paint has seen it.
        const bool watched = m_watched && m_damage.watching(static_cast<xcb_window_t>(window.winId()));
        m_watched = false;
        const engine::Microseconds before = m_clock.now();
        const std::optional<std::uint32_t> server = serverTime();
        const engine::Microseconds after = m_clock.now();
        if (!server || !m_relation.observe(before, *server, after)) {
            if (watched) {
                m_damage.discard();
            }
            return {after, engine::FrameSource::Flush};
        }
        const std::optional<std::uint32_t> drawn = watched && m_paintFrom ? m_damage.first(*m_paintFrom) : std::nullopt;
        // A drawing stamp later than the confirming answer cannot belong to this frame.
        const std::uint32_t stamp = drawn && static_cast<std::int32_t>(*server - *drawn) >= 0 ? *drawn : *server;
        return {engine::ServerTimeRelation::toLocal(stamp, after), engine::FrameSource::Server};
    }

    bool checkInputClock() override
    {
        const engine::Microseconds before = m_clock.now();
        const std::optional<std::uint32_t> server = serverTime();
        const engine::Microseconds after = m_clock.now();
        return server && m_relation.observe(before, *server, after);
    }

private:
    // The server's millisecond clock, cut to the 32 bits its events carry; nullopt when the query
    // failed. The round trip also flushes everything queued before it and returns only once the
    // server has processed it.
    std::optional<std::uint32_t> serverTime()
    {
        xcb_sync_query_counter_reply_t* reply
            = xcb_sync_query_counter_reply(m_connection, xcb_sync_query_counter(m_connection, m_counter), nullptr);
        if (!reply) {
            return std::nullopt;
        }
        const std::uint32_t low = reply->counter_value.lo;
        free(reply);
        return low;
    }

    xcb_connection_t* m_connection;
    xcb_sync_counter_t m_counter;
    DamageWatch m_damage;
    bool m_watched = false;
    std::optional<std::uint32_t> m_paintFrom; // the server's time just before the paint
};

// No window system whose time can be asked: our clock once the paint is done, input on arrival.
class LocalClock final : public WindowSystemClock
{
public:
    using WindowSystemClock::WindowSystemClock;
    engine::FrameStamp frameOut(QWidget& /*window*/) override { return {m_clock.now(), engine::FrameSource::Flush}; }
    bool checkInputClock() override { return false; }
};

// The SERVERTIME counter of the X server, or nullopt when it has no SYNC extension.
std::optional<xcb_sync_counter_t> serverTimeCounter(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* sync = xcb_get_extension_data(connection, &xcb_sync_id);
    if (!sync || !sync->present) {
        return std::nullopt;
    }
    free(xcb_sync_initialize_reply(connection, xcb_sync_initialize(connection, 3, 1), nullptr));
    xcb_sync_list_system_counters_reply_t* list
        = xcb_sync_list_system_counters_reply(connection, xcb_sync_list_system_counters(connection), nullptr);
    if (!list) {
        return std::nullopt;
    }
    // The entries are walked by hand: libxcb's iterator over them misreads the padding behind each
    // name. An entry is a counter (4 bytes), a resolution (8), the name's length (2) and the name,
    // padded to a multiple of 4 bytes.
    std::optional<xcb_sync_counter_t> found;
    const auto* entry = reinterpret_cast<const std::uint8_t*>(list + 1);
    const std::uint8_t* end = entry + std::size_t {list->length} * 4;
    for (std::uint32_t i = 0; i < list->counters_len && entry + 14 <= end; ++i) {
        std::uint16_t nameLength = 0;
        std::memcpy(&nameLength, entry + 12, sizeof nameLength);
        if (entry + 14 + nameLength > end) {
            break;
        }
        if (std::string(reinterpret_cast<const char*>(entry + 14), nameLength) == "SERVERTIME") {
            xcb_sync_counter_t counter = 0;
            std::memcpy(&counter, entry, sizeof counter);
            found = counter;
            break;
        }
        entry += (14 + nameLength + 3) / 4 * 4;
    }
    free(list);
    return found;
}

} // namespace

std::unique_ptr<WindowSystemClock> makeWindowSystemClock(engine::Clock& clock)
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* connection = x11->connection()) {
            if (const auto counter = serverTimeCounter(connection)) {
                return std::make_unique<X11Clock>(clock, connection, *counter);
            }
        }
    }
    return std::make_unique<LocalClock>(clock);
}

} // namespace ui
