#pragma once

#include "engine/clock.h"
#include "engine/evaluation.h"
#include "engine/measurement_state.h"
#include "engine/program_check.h"
#include "engine/trial_machine.h"
#include "storage/dataset.h"
#include "ui/session/session_control.h"
#include "ui/session/stimulus_window.h"

#include <memory>
#include <optional>

#include <QObject>
#include <QTimer>

namespace ui {

class SubjectSource;

// One station's test: the measurement, the trial machine that walks the test program, the results
// table and the store of a finished test, the check of the program before a test, and the program's
// start-up (program.txt loaded, the table opened once the data window is there). It owns the test
// window, which shows what the machine asks for and passes the person's responses back.
class TestSession : public QObject, public SessionControl, private TestWindowEvents
{
    Q_OBJECT

public:
    // Creates the session and its test window, not yet shown (FormCreate): remembers the start
    // directory, loads program.txt into the editor and sets the table's directory. A missing
    // program.txt is reported by the default error handler and leaves the editor empty. `clock` (null
    // for the system clock) is for tests; it must outlive the session.
    explicit TestSession(engine::Clock* clock = nullptr);
    // Closes a table still open, so that its header is stored.
    ~TestSession() override;

    // The test window, which lives as long as the session.
    TestWindow& window() { return *m_window; }
    // The measurement of the test, as the trial machine keeps it.
    engine::MeasurementState& measurement() { return m_state; }

    // Checks the test program in the editor as "Data  OK" does before the test starts (see
    // engine::checkProgram(); instruction files are loaded as the viewer loads them). Returns the first
    // fault, or nothing when the test can start.
    std::optional<engine::ProgramFault> checkProgram() const;

    // Stores one result row now from the data window and the measurement ("pokus", and the end of the
    // test). Throws on failure.
    void ulo_do_DBF();

    // SessionControl
    void attachSubjectSource(SubjectSource* subject) override;
    storage::Dataset& table() override { return m_table; }
    std::optional<std::string> refusalBeforeTest() override;
    void startTest() override;
    void storeNow() override;
    void showProgramEditor() override;
    void closeTestWindow() override;
    bool isTestWindow(const QWindow* window) const override;

private slots:
    void Timer3Timer(); // the start-up timer fired, 200 ms after the session was created

private:
    // TestWindowEvents
    bool acceptingResponses() const override;
    void responded(const engine::ResponseStamp& response) override;
    void foreperiodElapsed() override;
    void instructionConfirmed() override;
    void windowClosing() override;

    void FormCreate(); // at creation: start directory, program.txt, the table's directory
    // The start-up step: the data window's first-name box focused, the measurement reset, the table
    // opened in the start directory.
    void runStartupStep();

    engine::SystemClock m_systemClock;
    engine::Clock& m_clock;
    std::unique_ptr<TestWindow> m_window;
    engine::MeasurementState m_state;
    QTimer m_timer3; // the start-up timer (Timer3)
    storage::Dataset m_table;
    SubjectSource* m_subject = nullptr;
    engine::StoreResult m_store;    // a finished test
    engine::StoreResult m_storeNow; // "pokus": a row stored at once
    engine::TrialMachine m_machine;
    bool m_startupDue = false;
};

} // namespace ui
