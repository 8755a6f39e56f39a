#include "ui/session/stimulus_window.h"

#include "ui/common/application.h"
#include "ui/session/frame_ahead.h"
#include "ui/session/instruction_viewer.h"
#include "ui/session/program_editor.h"

#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace ui {

namespace {

constexpr int kForeperiodLeadMs = 25;
constexpr int kForeperiodLeadOnArrivalMs = 3;

// Draws a shape as one rectangle whose outline uses the pen and whose interior the brush, both
// combined with the screen through `mode`.
void drawShape(QPainter& painter, const QRect& square, const QColor& pen, const QColor& brush,
               QPainter::CompositionMode mode)
{
    painter.setCompositionMode(mode);
    painter.setPen(QPen(pen, 1));
    painter.setBrush(brush);
    painter.drawRect(square.adjusted(0, 0, -1, -1));
}

engine::InputKind inputKind(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return engine::InputKind::Left;
    case Qt::RightButton:
        return engine::InputKind::Right;
    case Qt::MiddleButton:
        return engine::InputKind::Middle;
    default:
        return engine::InputKind::Other;
    }
}

} // namespace

QRect TestWindow::squareIn(const QRect& bounds)
{
    const int side = std::min(bounds.width(), bounds.height());
    return QRect(bounds.x() + (bounds.width() - side) / 2, bounds.y() + (bounds.height() - side) / 2, side, side);
}

TestWindow::TestWindow(engine::Clock& clock, TestWindowEvents& events, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_clock(clock)
    , m_events(events)
    , m_windowClock(makeWindowSystemClock(m_clock))
    , m_timer1(m_clock, this)
    , m_editor(new ProgramEditor(this))
    , m_viewer(new InstructionViewer(this))
    , m_bitBtn1(new QPushButton(QStringLiteral("BitBtn1"), this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Měření Tivora      ( ukončení  stisk /space - mezerník/)"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFocusPolicy(Qt::StrongFocus);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    resize(1024, 721);

    // The hidden button is first in the tab order; Enter on it does nothing.
    m_bitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    m_bitBtn1->setGeometry(kBitBtn1Bounds);
    m_viewer->setGeometry(kRichEdit1Bounds);
    m_viewer->hide();
    m_editor->hide();
    setTabOrder(m_bitBtn1, m_viewer);
    setTabOrder(m_viewer, m_editor);

    connect(&m_timer1, &QtForeperiodTimer::elapsed, this, &TestWindow::Timer1Timer);
    m_timer1.setPrepareFrame(
        [this] {
            m_windowClock->beforeFrame(*this);
            m_framePrepared = paintStimulusAhead(true);
        },
        [this] { m_windowClock->keepAwake(); });
    connect(m_viewer, &InstructionViewer::confirmed, this, &TestWindow::RichEdit1KeyPress);

    // Whether input events' own timestamps are on our clock; every onset checks it again. Where they
    // are, a press made while the foreperiod timer waits out its end keeps its true time, so the timer
    // can wait longer and absorb a late event loop.
    m_timer1.setLeadMs(m_windowClock->checkInputClock() ? kForeperiodLeadMs : kForeperiodLeadOnArrivalMs);
}

void TestWindow::showOnWholeScreen()
{
    setGeometry(screen()->geometry());
    showFullScreen();
}

void TestWindow::showProgramEditor()
{
    m_editor->show();
    m_editor->raise();
}

engine::FrameStamp TestWindow::showStimulus()
{
    // Sent now, not at the next paint after the handler returns: the onset is stamped once the window
    // system has the frame, so nothing may stand between the sending and the stamp. The foreperiod
    // timer has usually had the frame painted ahead.
    if (!std::exchange(m_framePrepared, false)) {
        m_windowClock->beforeFrame(*this);
        if (!paintStimulusAhead(true)) {
            m_stimulusShown = true;
            repaint(squareIn(kShape2Bounds));
            m_onset = m_windowClock->frameOut(*this);
            return m_onset;
        }
    }
    m_stimulusShown = true;
    pushStimulusFrame();
    m_onset = m_windowClock->frameOut(*this);
    return m_onset;
}

bool TestWindow::paintStimulusAhead(bool stimulusShown)
{
    return paintAhead(*this, squareIn(kShape2Bounds),
                      [this, stimulusShown](QPainter& painter) { paintShapes(painter, stimulusShown); });
}

void TestWindow::pushStimulusFrame()
{
    sendAhead(*this, squareIn(kShape2Bounds));
}

engine::FrameStamp TestWindow::hideStimulus()
{
    // Gone at once, and stamped like the onset: the next foreperiod runs from the moment the stimulus
    // was really gone.
    m_framePrepared = false;
    m_windowClock->beforeFrame(*this);
    m_stimulusShown = false;
    repaint(squareIn(kShape2Bounds));
    return m_windowClock->frameOut(*this);
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

void TestWindow::startTest(const QString& firstScreen)
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
        presentInstruction(firstScreen);
        m_testRunning = true;
    } catch (...) {
        // Without its first screen the test cannot begin: the pointer comes back with the data window.
        QGuiApplication::restoreOverrideCursor();
        throw;
    }
}

void TestWindow::presentInstruction(const QString& fileName)
{
    m_viewer->loadFile(fileName);
    m_viewer->show();
    m_viewer->setFocus(Qt::OtherFocusReason);
}

void TestWindow::showInstruction(const std::string& fileName)
{
    const QString name = QString::fromStdString(fileName);
    try {
        presentInstruction(name);
    } catch (...) {
        // The measured trials must not be lost to a screen that went missing in the middle of a test:
        // a plain screen names the file and is confirmed with Enter as the screen would have been. The
        // error itself is still shown.
        m_viewer->showMissingFile(name);
        m_viewer->show();
        m_viewer->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

engine::FrameStamp TestWindow::leaveInstruction()
{
    setFocus(Qt::OtherFocusReason);
    // The screen turns black as the foreperiod starts, not at some later paint, and the foreperiod runs
    // from the moment it was black.
    m_framePrepared = false;
    m_windowClock->beforeFrame(*this);
    m_viewer->hide();
    repaint(kRichEdit1Bounds);
    return m_windowClock->frameOut(*this);
}

void TestWindow::focusTestWindow()
{
    setFocus(Qt::OtherFocusReason);
}

void TestWindow::closeTestWindow()
{
    close();
}

void TestWindow::Timer1Timer()
{
    const engine::Microseconds elapsed = m_clock.now();
    guarded(this, [&] { m_events.foreperiodElapsed(); });
    if (m_stimulusShown) {
        m_timer1.addOutputLatency(m_onset.time - elapsed);
    }
}

void TestWindow::RichEdit1KeyPress()
{
    guarded(this, [&] { m_events.instructionConfirmed(); });
    // When the closing screen's store failed, the screen stays up: the person's next Enter retries it.
    if (isVisible() && m_viewer->isVisible()) {
        m_viewer->setFocus(Qt::OtherFocusReason);
    }
}

void TestWindow::respond(const QInputEvent& event, engine::InputKind input)
{
    if (m_events.acceptingResponses()) {
        const engine::ResponseStamp stamp = m_windowClock->stampInput(event, m_inputArrival, input);
        guarded(this, [&] { m_events.responded(stamp); });
    }
}

bool TestWindow::event(QEvent* event)
{
    // The arrival of input, for platforms whose events carry no usable time of their own: read before
    // anything else is done with the event.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        m_inputArrival = m_clock.now();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TestWindow::hitsControl(const QPoint& position) const
{
    return kShape1Bounds.contains(position) || kShape2Bounds.contains(position) || kLabel1Bounds.contains(position);
}

void TestWindow::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintShapes(painter, m_stimulusShown);
}

void TestWindow::paintShapes(QPainter& painter, bool stimulusShown) const
{
    // On black, "screen OR NOT blue" draws a yellow frame and leaves the white-brushed interior alone.
    drawShape(painter, squareIn(kShape1Bounds), Qt::blue, Qt::white, QPainter::RasterOp_NotSourceOrDestination);
    // "screen AND white" leaves the screen unchanged: the stimulus is invisible until it is copied.
    drawShape(painter, squareIn(kShape2Bounds), Qt::white, Qt::white,
              stimulusShown ? QPainter::CompositionMode_SourceOver : QPainter::RasterOp_SourceAndDestination);
}

void TestWindow::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && hasFocus()) {
        respond(*event, engine::InputKind::Key); // auto-repeated key-downs count again
        return;
    }
    QWidget::keyPressEvent(event);
}

void TestWindow::mousePressEvent(QMouseEvent* event)
{
    // Presses inside a shape or the label go to that control, which does nothing with them.
    if (!hitsControl(event->position().toPoint())) {
        respond(*event, inputKind(event->button()));
    }
}

void TestWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event); // the second press of a double click is a press of its own
}

void TestWindow::mouseReleaseEvent(QMouseEvent* event)
{
    // Releasing the right button over a shape asks for that shape's context menu: a response, with the
    // time the button was held counted in.
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::RightButton && (kShape1Bounds.contains(position) || kShape2Bounds.contains(position))) {
        respond(*event, engine::InputKind::Right);
    }
}

void TestWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closing) {
        m_closing = true;
        guarded(this, [&] { m_events.windowClosing(); });
        QCoreApplication::quit();
    }
    event->accept();
}

void TestWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow()) {
        return;
    }
    // Coming back after a message box (or from another program), the keyboard focus returns to where
    // the person needs it, never to the hidden button, so that Enter keeps counting: to the instruction
    // screen while one is up, else to the window itself. Before the test only a focus lost to nothing or
    // to the hidden button is moved, so the examiner's editor keeps it.
    QWidget* focus = focusWidget();
    if (m_testRunning || !focus || focus == m_bitBtn1) {
        if (m_viewer->isVisible()) {
            m_viewer->setFocus(Qt::ActiveWindowFocusReason);
        } else {
            setFocus(Qt::ActiveWindowFocusReason);
        }
    }
}

bool TestWindow::focusNextPrevChild(bool next)
{
    // Tab and Shift+Tab during a test would take the focus to the hidden button, where Enter is lost.
    return m_testRunning || QWidget::focusNextPrevChild(next);
}

} // namespace ui
