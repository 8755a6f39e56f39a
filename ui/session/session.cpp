#include "ui/session/session.h"

#include "engine/program_file.h"
#include "results/change_journal.h"
#include "results/results_table.h"
#include "rtf/rtf_reader.h"
#include "ui/common/application.h"
#include "ui/platform.h"
#include "ui/session/program_editor.h"
#include "ui/session/result_store.h"
#include "ui/session/subject_source.h"

#include <QDir>
#include <QTextDocument>

namespace ui {

namespace {

constexpr int kStartupDelayMs = 200;
const QString kFirstInstruction = QStringLiteral("tivora1.rtf");

} // namespace

TestSession::TestSession(engine::Clock* clock)
    : m_clock(clock ? *clock : m_systemClock)
    , m_window(std::make_unique<TestWindow>(m_clock, static_cast<TestWindowEvents&>(*this)))
    , m_table(QStringLiteral("Table1").toStdString(), results::kResultsTableName)
    , m_store(makeTestWindowStore(m_table, m_subject, audit::Action::TestStored))
    , m_storeNow(makeTestWindowStore(m_table, m_subject, audit::Action::RowStored))
    , m_machine(m_state, m_window->programEditor()->programLines(), m_clock, m_window->foreperiodTimer(), *m_window,
                [this](const engine::MeasurementState&) { ulo_do_DBF(); })
{
    m_timer3.setObjectName(QStringLiteral("Timer3"));
    m_timer3.setSingleShot(true);
    connect(&m_timer3, &QTimer::timeout, this, &TestSession::Timer3Timer);
    m_timer3.start(kStartupDelayMs);

    // Every row the browser writes or deletes goes into the journal beside the table.
    m_table.setChangeObserver(results::journalObserver(m_table));
    m_table.setNoticeHandler(
        [this](const std::string& notice) { Application::showNotice(m_window.get(), QString::fromStdString(notice)); });
    guarded(m_window.get(), [&] { FormCreate(); });
}

TestSession::~TestSession()
{
    guarded(nullptr, [&] { m_table.close(); });
}

// The program's start: loading the test program when the session is created, the start-up step once
// the data window exists, and the start of a test from "Data  OK".

void TestSession::FormCreate()
{
    m_state.startDirectory = QDir::currentPath().toStdString();
    const QString programFile = QString::fromLatin1(engine::kProgramFileName);
    m_window->programEditor()->loadProgram(programFile);
    m_window->programEditor()->setFileLabel(programFile);
    m_table.setDirectory(m_state.startDirectory);
}

void TestSession::attachSubjectSource(SubjectSource* subject)
{
    m_subject = subject;
    if (m_startupDue) {
        runStartupStep();
    }
}

void TestSession::Timer3Timer()
{
    // The start-up step works on the data window; if a box shown while the windows were still being
    // created let the timer fire early, the step waits until the data window is attached.
    if (!m_subject) {
        m_startupDue = true;
        return;
    }
    runStartupStep();
}

void TestSession::runStartupStep()
{
    m_startupDue = false;
    guarded(m_window.get(), [&] {
        m_subject->focusFirstName();
        m_timer3.stop();
        engine::nulovani(m_state);
        platform::changeDirectory(QString::fromStdString(m_state.startDirectory));
        results::openResultsTable(m_table);
    });
}

std::optional<engine::ProgramFault> TestSession::checkProgram() const
{
    // Every screen is loaded as the viewer will load it, into a document nobody sees.
    const engine::InstructionLoader load = [](const std::string& fileName) {
        QTextDocument document;
        rtf::readInstructionFile(QString::fromStdString(fileName), document);
    };
    return engine::checkProgram(m_window->programEditor()->programLines(), load);
}

std::optional<std::string> TestSession::refusalBeforeTest()
{
    if (const auto fault = checkProgram()) {
        return fault->message;
    }
    return results::checkResultsTableWritable(m_table);
}

void TestSession::startTest()
{
    try {
        m_window->startTest(kFirstInstruction);
    } catch (...) {
        // Without its first screen the test cannot begin: give the examiner the data window back
        // instead of leaving a black screen that takes no input.
        if (m_subject) {
            m_subject->restoreAfterFailedStart();
        }
        throw;
    }
}

// The examiner's menu.

void TestSession::ulo_do_DBF()
{
    m_store(m_state);
}

void TestSession::storeNow()
{
    m_storeNow(m_state);
}

void TestSession::showProgramEditor()
{
    m_window->showProgramEditor();
}

void TestSession::closeTestWindow()
{
    m_window->close();
}

bool TestSession::isTestWindow(const QWindow* window) const
{
    return window == m_window->windowHandle();
}

// The test window's events.

bool TestSession::acceptingResponses() const
{
    return m_state.acceptingResponses;
}

void TestSession::responded(const engine::ResponseStamp& response)
{
    m_machine.Stisk_tlacitka(response);
}

void TestSession::foreperiodElapsed()
{
    m_machine.foreperiodElapsed();
}

void TestSession::instructionConfirmed()
{
    m_machine.instructionConfirmed();
}

void TestSession::windowClosing()
{
    m_table.close();
}

} // namespace ui
