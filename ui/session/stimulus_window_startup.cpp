#include "engine/program_check.h"
#include "engine/program_file.h"
#include "rtf/rtf_reader.h"
#include "storage/results_table.h"
#include "ui/common/application.h"
#include "ui/platform.h"
#include "ui/session/program_editor.h"
#include "ui/session/stimulus_window.h"
#include "ui/session/subject_source.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextDocument>

// The test window's part in the program's start: loading the test program when the window is created,
// the start-up step once the data window exists, and the start of a test from "Data  OK".
namespace ui {

namespace {

const QString kFirstInstruction = QStringLiteral("tivora1.rtf");

} // namespace

void TestWindow::FormCreate()
{
    m_state.startDirectory = QDir::currentPath().toStdString();
    const QString programFile = QString::fromLatin1(engine::kProgramFileName);
    m_editor->loadProgram(programFile);
    m_editor->setFileLabel(programFile);
    m_table.setDirectory(m_state.startDirectory);
}

void TestWindow::attachSubjectSource(SubjectSource* subject)
{
    m_subject = subject;
    if (m_startupDue) {
        runStartupStep();
    }
}

void TestWindow::Timer3Timer()
{
    // The start-up step works on the data window; if a box shown while the windows were still being
    // created let the timer fire early, the step waits until the data window is attached.
    if (!m_subject) {
        m_startupDue = true;
        return;
    }
    runStartupStep();
}

void TestWindow::runStartupStep()
{
    m_startupDue = false;
    guarded(this, [&] {
        m_subject->focusFirstName();
        m_timer3.stop();
        engine::nulovani(m_state);
        platform::changeDirectory(QString::fromStdString(m_state.startDirectory));
        storage::openResultsTable(m_table);
    });
}

std::optional<engine::ProgramFault> TestWindow::checkProgram() const
{
    // Every screen is loaded as the viewer will load it, into a document nobody sees.
    const engine::InstructionLoader load = [](const std::string& fileName) {
        QTextDocument document;
        rtf::readInstructionFile(QString::fromStdString(fileName), document);
    };
    return engine::checkProgram(m_editor->programLines(), load);
}

void TestWindow::warmUpStimulusFrames()
{
    constexpr int kWarmUpFrames = 3;
    for (int i = 0; i < kWarmUpFrames; ++i) {
        // Timed from after the preparation, which the foreperiod timer does before its wait.
        m_windowClock->beforeFrame(*this);
        const bool paintedAhead = paintStimulusAhead(false);
        const engine::Microseconds start = m_clock.now();
        if (paintedAhead) {
            pushStimulusFrame();
        } else {
            repaint(squareIn(kShape2Bounds));
        }
        const engine::FrameStamp out = m_windowClock->frameOut(*this);
        m_timer1.addOutputLatency(out.time - start);
    }
}

void TestWindow::startTest()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    m_editor->hide();
    // The data window has just hidden itself: the test window takes over the keyboard.
    raise();
    activateWindow();
    // Sets up the stamping of stimulus frames now rather than at the first stimulus, and times a few
    // frames of the square as the stimulus will be drawn (still hidden, so nothing changes on the
    // screen), so that the first foreperiod is aimed as well as the later ones.
    warmUpStimulusFrames();
    try {
        presentInstruction(kFirstInstruction);
        m_testRunning = true;
    } catch (...) {
        // Without its first screen the test cannot begin: give the examiner the data window and the
        // pointer back instead of leaving a black screen that takes no input.
        QGuiApplication::restoreOverrideCursor();
        if (m_subject) {
            m_subject->restoreAfterFailedStart();
        }
        throw;
    }
}

} // namespace ui
