#pragma once

#include "report/results_reader.h"
#include "report/timing_record.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <QObject>
#include <QString>

namespace report::gui {

// Reads a results table, its row identities and its timing record on a thread of its own, so that the
// window keeps painting and answering while a large table is read, and can stop the reading. What was
// read is handed over in the thread that owns the loader; nothing of it is touched by the loader's
// thread afterwards. The reading itself is the Qt-free ResultsReader's.
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
        QString timingNote; // why the timing record is not used, or what is wrong with lines of it
    };

    explicit TableLoader(QObject* parent = nullptr);
    // Stops a running load and waits for its thread.
    ~TableLoader() override;

    // Starts reading the table at `path`; a load still running is stopped first. Emits progress() now
    // and then, and at the end exactly one of finished(), failed() and cancelled().
    void start(const QString& path);
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
    void stopThread();

    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_running = false;
    std::uint64_t m_generation = 0; // of the last load started; read and written in the owner's thread only
    Result m_result;
};

} // namespace report::gui
