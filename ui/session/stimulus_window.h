#pragma once

#include "engine/clock.h"
#include "engine/trial_machine.h"
#include "ui/session/qt_foreperiod_timer.h"
#include "ui/session/window_system_clock.h"

#include <memory>

#include <QRect>
#include <QWidget>

class QPainter;
class QPushButton;

namespace ui {

class InstructionViewer;
class ProgramEditor;

// What the test window passes on to the session that runs the test in it (TestSession). The window
// stamps the person's responses and shows any error a call throws, then goes on; what a response or a
// confirmation means is the session's business.
class TestWindowEvents
{
public:
    virtual ~TestWindowEvents() = default;

    // Whether the person's responses count now. A response is stamped and passed on only then.
    virtual bool acceptingResponses() const = 0;
    // A response of the person (Enter on the window, a press beside the shapes, a right release over one),
    // stamped.
    virtual void responded(const engine::ResponseStamp& response) = 0;
    // The foreperiod timer fired (Timer1Timer).
    virtual void foreperiodElapsed() = 0;
    // Enter on the instruction screen (RichEdit1KeyPress).
    virtual void instructionConfirmed() = 0;
    // The window is closing; the program ends after the call.
    virtual void windowClosing() = 0;
};

// Form1, the test window and the program's main window: full screen and black, it draws the fixation
// frame and the stimulus, shows the instruction screens, takes the person's responses and passes them
// on to the session, and holds the program editor and the foreperiod timer. Closing it ends the
// program.
class TestWindow : public QWidget, public engine::TestDisplay
{
    Q_OBJECT

public:
    // Bounds of the controls in the window's client area, in device-independent pixels.
    // The fixation frame: a yellow square outline around the stimulus.
    static constexpr QRect kShape1Bounds {336, 240, 113, 129};
    // The stimulus: a white square in the frame, invisible between onsets.
    static constexpr QRect kShape2Bounds {360, 288, 65, 33};
    // A label without text below the frame; presses on it, as on the shapes, are no responses.
    static constexpr QRect kLabel1Bounds {392, 376, 5, 24};
    // The instruction viewer (RichEdit1).
    static constexpr QRect kRichEdit1Bounds {8, 8, 753, 209};
    // A button left of the window's edge, never seen: first in the tab order, Enter on it does nothing.
    static constexpr QRect kBitBtn1Bounds {-100, 184, 75, 25};

    // The square a shape draws in its bounds: the smaller side, centred in the other direction.
    static QRect squareIn(const QRect& bounds);

    // Creates the window, not yet shown, with the program editor (empty, hidden) and the instruction
    // viewer (hidden). `clock` and `events` must outlive it.
    TestWindow(engine::Clock& clock, TestWindowEvents& events, QWidget* parent = nullptr);

    // Shows the window over the whole screen, also where no window manager maximises it.
    void showOnWholeScreen();

    // Makes the program editor panel visible ("Edit.prog.").
    void showProgramEditor();

    // Starts a test on the screen: hides the pointer and the program editor, takes the keyboard, times a
    // few frames of the hidden stimulus and shows instruction file `firstScreen` with the focus. Throws
    // when that file cannot be loaded; the pointer is then shown again and nothing else is undone.
    void startTest(const QString& firstScreen);

    // The foreperiod timer, which paints the stimulus ahead of its end; the session's trial machine runs
    // it.
    engine::ForeperiodTimer& foreperiodTimer() { return m_timer1; }
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
    void Timer1Timer();       // the foreperiod timer fired: the stimulus is shown
    void RichEdit1KeyPress(); // Enter on the instruction screen

private:
    // Loads `fileName` into the viewer, shows it and gives it the focus. Throws when the file cannot be
    // loaded; the viewer is then left as it was.
    void presentInstruction(const QString& fileName);
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

    engine::Clock& m_clock;
    TestWindowEvents& m_events;
    std::unique_ptr<WindowSystemClock> m_windowClock;
    engine::Microseconds m_inputArrival = 0; // when the input event being handled reached the window
    QtForeperiodTimer m_timer1;              // the foreperiod timer (Timer1)
    ProgramEditor* m_editor;
    InstructionViewer* m_viewer;
    QPushButton* m_bitBtn1;     // the button nobody sees (kBitBtn1Bounds)
    engine::FrameStamp m_onset; // the last stimulus frame, as showStimulus() returned it
    bool m_stimulusShown = false;
    bool m_framePrepared = false; // the foreperiod timer got the next frame ready
    bool m_closing = false;
    bool m_testRunning = false; // from the first screen of the test on
};

} // namespace ui
