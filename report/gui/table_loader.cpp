#include "report/gui/table_loader.h"

#include "report/report_error.h"

#include <algorithm>
#include <climits>
#include <exception>

namespace report::gui {

namespace {

// The record's own state for the window's status line: why it is not used, or its damaged lines.
QString timingNote(const TimingRecord* record, const QString& error)
{
    if (!error.isEmpty() || !record || record->problems().empty()) {
        return error;
    }
    QString note = QString::fromStdString(record->path() + ": " + record->problems().front());
    if (record->problems().size() > 1) {
        note += QStringLiteral(" (a %1 dalších)").arg(record->problems().size() - 1);
    }
    return note;
}

} // namespace

TableLoader::TableLoader(QObject* parent)
    : QObject(parent)
{ }

TableLoader::~TableLoader()
{
    stopThread();
}

void TableLoader::stopThread()
{
    if (m_cancel) {
        m_cancel->store(true);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (std::thread& thread : m_stopping) {
        thread.join();
    }
    m_stopping.clear();
    m_running = false;
}

void TableLoader::cancel()
{
    if (m_cancel) {
        m_cancel->store(true);
    }
}

void TableLoader::start(const QString& path)
{
    run([table = path.toStdString()](Result& result, const auto& progress) {
        result.reader = std::make_unique<ResultsReader>(table);
        QString error;
        try {
            result.timing = TimingRecord::openBeside(table);
        } catch (const std::exception& problem) {
            error = QString::fromStdString(problem.what());
        }
        result.timingNote = timingNote(result.timing.get(), error);
        result.tests
            = result.reader->identities([&](std::uint32_t done, std::uint32_t total) { return progress(done, total); });
    });
}

void TableLoader::startDatabase(const DatabaseOpener& open, const std::string& conninfo, const TestFilter& filter)
{
    run([open, conninfo, filter](Result& result, const auto& progress) {
        if (!open) {
            throw ReportError("this tivora-report has no database access");
        }
        result.source = open(conninfo);
        if (!progress(0, 0)) {
            throw Cancelled();
        }
        result.source->forEach(
            filter,
            [&](const SourcedTest& test) {
                result.tests.push_back(test.test.identity);
                result.places.push_back({test.id, test.office, test.station});
            },
            progress);
    });
}

void TableLoader::run(Read read)
{
    // A load still running is told to stop and left to end on its own, joined at the latest by the
    // destructor: a server that is slow to answer never holds up the window.
    if (m_cancel) {
        m_cancel->store(true);
    }
    if (m_thread.joinable()) {
        m_stopping.push_back(std::move(m_thread));
    }
    m_result = {};
    m_running = true;
    const std::uint64_t generation = ++m_generation;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_cancel = stop;
    // Everything the thread sends comes back as a queued call in this object's thread; none of them can
    // still be on its way when the object is gone, as the destructor waits for the thread, and Qt drops
    // the calls queued for an object it destroys.
    // A call of an earlier load that was stopped may still be queued: only the last load's calls count.
    m_thread = std::thread([this, stop, generation, read = std::move(read)] {
        const auto post = [this, generation](auto call) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, call] {
                    if (generation == m_generation) {
                        call();
                    }
                },
                Qt::QueuedConnection);
        };
        try {
            auto result = std::make_shared<Result>();
            read(*result, [&](std::uint64_t done, std::uint64_t total) {
                const auto clamp
                    = [](std::uint64_t n) { return static_cast<quint32>(std::min<std::uint64_t>(n, UINT32_MAX)); };
                post([this, done = clamp(done), total = clamp(total)] { emit progress(done, total); });
                return !stop->load();
            });
            post([this, result] {
                m_running = false;
                m_result = std::move(*result);
                emit finished();
            });
        } catch (const Cancelled&) {
            post([this] {
                m_running = false;
                emit cancelled();
            });
        } catch (const std::exception& error) {
            post([this, message = QString::fromStdString(error.what())] {
                m_running = false;
                emit failed(message);
            });
        } catch (...) {
            post([this] {
                m_running = false;
                emit failed(QStringLiteral("Unexpected error"));
            });
        }
    });
}

} // namespace report::gui
