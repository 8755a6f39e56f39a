#pragma once

#include "report/command_line.h"
#include "report/gui/tests_model.h"
#include "report/results_reader.h"
#include "report/test_source.h"
#include "report/timing_record.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QObject>
#include <QString>

namespace report::gui {

// Reads a results table, its row identities and its timing record, or the list of the central database's
// tests, on a thread of its own, so that the window keeps painting and answering while a large table or
// a slow server is read, and can stop the reading. What was read is handed over in the thread that owns
// the loader; nothing of it is touched by the loader's thread afterwards (the database's connection is
// made on that thread and only used by the owner's thread once handed over). The reading itself is the
// Qt-free ResultsReader's and TestSource's.
class TableLoader : public QObject
{
    Q_OBJECT

public:
    // What a finished load hands over.
    struct Result
    {
        std::unique_ptr<ResultsReader> reader;
        std::unique_ptr<TimingRecord> timing;
        std::vector<TestIdentity> tests;
        QString timingNote;                 // why the timing record is not used, or what is wrong with lines of it
        std::unique_ptr<TestSource> source; // the database, open, when one was read
        std::vector<TestPlace> places;      // with a database: where each of `tests` was taken
    };

    explicit TableLoader(QObject* parent = nullptr);
    // Stops a running load and waits for its thread.
    ~TableLoader() override;

    // Starts reading the table at `path`; a load still running is told to stop and ends unheard. Emits progress() now
    // and then, and at the end exactly one of finished(), failed() and cancelled().
    void start(const QString& path);
    // Starts opening the database `conninfo` through `open` (called on the loader's thread) and listing
    // its tests that pass `filter`, as start() does; progress() then has no total.
    void startDatabase(const DatabaseOpener& open, const std::string& conninfo, const TestFilter& filter);
    // Asks a running load to stop; it ends with cancelled(), or with what it had already reached.
    void cancel();
    bool running() const { return m_running; }
    // The result of the last finished load; empty afterwards.
    Result takeResult() { return std::move(m_result); }

signals:
    void progress(quint32 done, quint32 total);
    void finished();
    void failed(const QString& message);
    void cancelled();

private:
    // Reads into the result; calls `progress` now and then, which returns false once the load is stopped.
    using Read = std::function<void(Result& result, const std::function<bool(std::uint64_t, std::uint64_t)>& progress)>;

    void run(Read read);
    void stopThread();

    std::thread m_thread;
    std::vector<std::thread> m_stopping; // of loads stopped by a later start(), still ending
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_running = false;
    std::uint64_t m_generation = 0; // of the last load started; read and written in the owner's thread only
    Result m_result;
};

} // namespace report::gui
