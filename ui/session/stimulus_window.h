#pragma once

#include "engine/clock.h"
#include "engine/measurement_state.h"
#include "engine/program_check.h"
#include "engine/trial_machine.h"
#include "storage/dataset.h"
#include "ui/session/qt_foreperiod_timer.h"
#include "ui/session/window_system_clock.h"

#include <memory>
#include <optional>

#include <QRect>
#include <QTimer>
#include <QWidget>

class QPainter;
class QPushButton;

namespace ui {

class InstructionViewer;
class ProgramEditor;
class SubjectSource;

// Form1, the test window and the program's main window: full screen and black, it draws the fixation
// frame and the stimulus, shows the instruction screens, takes the person's responses and passes them
// to the trial machine, and holds the program editor, the foreperiod and start-up timers and the
// results table. Closing it ends the program.
class TestWindow : public QWidget, public engine::TestDisplay
{
    Q_OBJECT

public:
    // Bounds of the controls in the window's client area, in device-independent pixels.
    static constexpr QRect kShape1Bounds {336, 240, 113, 129};
    static constexpr QRect kShape2Bounds {360, 288, 65, 33};
    static constexpr QRect kLabel1Bounds {392, 376, 5, 24};
    static constexpr QRect kRichEdit1Bounds {8, 8, 753, 209};
    static constexpr QRect kBitBtn1Bounds {-100, 184, 75, 25};

    // The square a shape draws in its bounds: the smaller side, centred in the other direction.
    static QRect squareIn(const QRect& bounds);

    // Creates the window (FormCreate): remembers the start directory, loads program.txt into the
    // editor and sets the table's directory. A missing program.txt is reported by the default error
    // handler and leaves the editor empty. `clock` (null for the system clock) is for tests.
    explicit TestWindow(engine::Clock* clock = nullptr, QWidget* parent = nullptr);
    ~TestWindow() override;

    // Shows the window over the whole screen, also where no window manager maximises it.
    void showOnWholeScreen();

    // Connects the data window. The start-up step (200 ms after creation) waits for it.
    void attachSubjectSource(SubjectSource* subject);

    // Checks the test program in the editor as "Data  OK" does before the test starts (see
    // engine::checkProgram(); instruction files are loaded as the viewer loads them). Returns the first
    // fault, or nothing when the test can start.
    std::optional<engine::ProgramFault> checkProgram() const;

    // Starts the test from the data window: hides the pointer and the program editor and shows
    // tivora1.rtf. Errors are shown by the default error handler.
    void startTest();

    // Makes the program editor panel visible ("Edit.prog.").
    void showProgramEditor();

    // Stores one result row now from the data window and the measurement ("pokus", and the end of the
    // test). Throws on failure.
    void ulo_do_DBF();

    engine::MeasurementState& measurement() { return m_state; }
    storage::Dataset& table() { return m_table; }
    ProgramEditor* programEditor() const { return m_editor; }
    InstructionViewer* viewer() const { return m_viewer; }
    bool stimulusShown() const { return m_stimulusShown; }

    // engine::TestDisplay. The stimulus is painted at once and stamped when the window system has it.
    engine::FrameStamp showStimulus() override;
    engine::FrameStamp hideStimulus() override;
    // A file that cannot be loaded is named on a plain screen in the viewer, which is shown and confirmed
    // as the file would have been; the load error is thrown all the same, to be shown.
    void showInstruction(const std::string& fileName) override;
    engine::FrameStamp leaveInstruction() override;
    void focusTestWindow() override;
    void closeTestWindow() override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private slots:
    void Timer1Timer();
    void Timer3Timer();
    void RichEdit1KeyPress();

private:
    void FormCreate();
    // Loads `fileName` into the viewer, shows it and gives it the focus. Throws when the file cannot be
    // loaded; the viewer is then left as it was.
    void presentInstruction(const QString& fileName);
    void runStartupStep();
    // Times a few frames of the hidden stimulus, so that the foreperiod timer knows how long a frame
    // takes to get out before the first stimulus.
    void warmUpStimulusFrames();
    // Draws the shapes (the frame, and the stimulus when `stimulusShown`) as the window shows them.
    void paintShapes(QPainter& painter, bool stimulusShown) const;
    // Paints the stimulus square into the window's backing store, as shown or hidden, without sending it
    // to the window system; pushStimulusFrame() sends it. Painting ahead leaves only the sending to the
    // moment of the onset (the paint itself may wait for the window system). False where the window has
    // no backing store to paint into.
    bool paintStimulusAhead(bool stimulusShown);
    void pushStimulusFrame();
    // A response of the person by `event`, passed on only while responses count.
    void respond(const QInputEvent& event, engine::InputKind input);
    bool hitsControl(const QPoint& position) const;

    engine::MeasurementState m_state;
    engine::SystemClock m_systemClock;
    engine::Clock& m_clock;
    std::unique_ptr<WindowSystemClock> m_windowClock;
    engine::Microseconds m_inputArrival = 0; // when the input event being handled reached the window
    QtForeperiodTimer m_timer1;
    QTimer m_timer3;
    storage::Dataset m_table;
    ProgramEditor* m_editor;
    InstructionViewer* m_viewer;
    QPushButton* m_bitBtn1;
    SubjectSource* m_subject = nullptr;
    engine::StoreResult m_store;
    engine::TrialMachine m_machine;
    bool m_startupDue = false;
    bool m_stimulusShown = false;
    bool m_framePrepared = false; // the foreperiod timer got the next frame ready
    bool m_closing = false;
    bool m_testRunning = false; // from the first screen of the test on
};

} // namespace ui
