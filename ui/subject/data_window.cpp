#include "ui/subject/data_window.h"

#include "results/results_table.h"
#include "ui/browser/results_browser.h"
#include "ui/common/application.h"
#include "ui/common/message_box.h"
#include "ui/session/session_control.h"
#include "ui/subject/date_text.h"
#include "ui/subject/mask_edit.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QDate>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace ui {

namespace {

const QString kCaption = QStringLiteral("                       Zadání dat vyšetřované osoby");
const QString kBirthNumberMessage = QStringLiteral("Chybné rodné číslo  !!  číselná hodnota");
constexpr int kClientWidth = 536;
constexpr int kClientHeight = 353;

// Labels size themselves to their text from their top-left corner, so that a substitute font wider
// than the designed one does not cut words off.
void fitToText(QLabel* label)
{
    const QSize hint = label->sizeHint();
    label->resize(std::max(hint.width(), label->width()), std::max(hint.height(), label->height()));
}

QLabel* whiteLabel(const QString& text, const QRect& bounds, QWidget* parent, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(bounds);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(colours);
    fitToText(label);
    return label;
}

QFont pixelFont(int pixels)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixels);
    return font;
}

QString shortDateFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

} // namespace

DataWindow::DataWindow(SessionControl& session, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
    , m_session(session)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(kCaption);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form3Client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    QPalette blue = client->palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    client->setPalette(blue);
    client->setAutoFillBackground(true);
    setCentralWidget(client);
    buildControls(client);
    buildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &DataWindow::focusWindowChanged);
    guarded(this, [&] { FormCreate(); });

    adjustSize();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(width() / 2, height() / 2));
    show();
    m_session.attachSubjectSource(this);
}

void DataWindow::buildControls(QWidget* client)
{
    whiteLabel(QStringLiteral("jméno "), {48, 24, 35, 17}, client, "StaticText1");
    m_edit1 = new QLineEdit(client);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setGeometry(48, 40, 121, 21);
    whiteLabel(QStringLiteral("příjmení"), {224, 24, 42, 17}, client, "StaticText2");
    m_edit2 = new QLineEdit(client);
    m_edit2->setObjectName(QStringLiteral("Edit2"));
    m_edit2->setGeometry(224, 40, 121, 21);
    whiteLabel(QStringLiteral("rodné číslo"), {72, 72, 56, 17}, client, "StaticText3");
    m_maskEdit2 = new MaskEdit(QStringLiteral("999999;1;_"), QLatin1Char('/'), client);
    m_maskEdit2->setObjectName(QStringLiteral("MaskEdit2"));
    m_maskEdit2->setGeometry(48, 88, 49, 21);
    QLabel* slash = whiteLabel(QStringLiteral("/"), {104, 88, 9, 24}, client, "StaticText6");
    slash->setFont(pixelFont(16));
    fitToText(slash);
    m_maskEdit3 = new MaskEdit(QStringLiteral("9999;1;_"), QLatin1Char('/'), client);
    m_maskEdit3->setObjectName(QStringLiteral("MaskEdit3"));
    m_maskEdit3->setGeometry(120, 88, 33, 21);
    whiteLabel(QStringLiteral("datum"), {224, 72, 33, 17}, client, "StaticText4");
    m_maskEdit1 = new MaskEdit(QStringLiteral("!99/99/0000;1;_"), dateSeparator(shortDateFormat()), client);
    m_maskEdit1->setObjectName(QStringLiteral("MaskEdit1"));
    m_maskEdit1->setGeometry(224, 88, 65, 21);
    m_maskEdit1->setReadOnly(true);
    m_bitBtn1 = new QPushButton(QStringLiteral("Data  OK"), client);
    m_bitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    m_bitBtn1->setGeometry(408, 98, 89, 25);
    // Enter on the focused button presses it, as Enter from the last box leads there.
    m_bitBtn1->setAutoDefault(true);
    QLabel* title = new QLabel(QStringLiteral("Tivora   V 2.4"), client);
    title->setObjectName(QStringLiteral("Label1"));
    title->setGeometry(168, 216, 201, 29);
    title->setFont(pixelFont(23));
    fitToText(title);
    QPalette yellow = title->palette();
    yellow.setColor(QPalette::WindowText, QColor(255, 255, 0));
    title->setPalette(yellow);

    m_browser = new ResultsBrowser(m_session.table(), client);

    setTabOrder(m_edit1, m_edit2);
    setTabOrder(m_edit2, m_maskEdit2);
    setTabOrder(m_maskEdit2, m_maskEdit3);
    setTabOrder(m_maskEdit3, m_maskEdit1);
    setTabOrder(m_maskEdit1, m_bitBtn1);
    for (QWidget* box :
         {static_cast<QWidget*>(m_edit1), static_cast<QWidget*>(m_edit2), static_cast<QWidget*>(m_maskEdit1),
          static_cast<QWidget*>(m_maskEdit2), static_cast<QWidget*>(m_maskEdit3)}) {
        box->installEventFilter(this);
    }
    connect(m_maskEdit2, &MaskEdit::maskedTextChanged, this, [this] { setBoxColour(m_maskEdit2, normalColour()); });
    connect(m_bitBtn1, &QPushButton::clicked, this, &DataWindow::BitBtn1Click);
}

void DataWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    QAction* dbf = bar->addAction(QStringLiteral("DBF "));
    dbf->setObjectName(QStringLiteral("DBFactive1"));
    connect(dbf, &QAction::triggered, this, &DataWindow::DBFactive1Click);
    QAction* edit = bar->addAction(QStringLiteral("Edit.prog."));
    edit->setObjectName(QStringLiteral("Editprog1"));
    connect(edit, &QAction::triggered, this, &DataWindow::Editprog1Click);
    QAction* exit = bar->addAction(QStringLiteral("exit"));
    exit->setObjectName(QStringLiteral("exit2"));
    connect(exit, &QAction::triggered, this, &DataWindow::exit2Click);

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* test = m_popup->addAction(QStringLiteral("test"));
    test->setObjectName(QStringLiteral("test1"));
    test->setEnabled(false);
    QAction* pokus = m_popup->addAction(QStringLiteral("pokus"));
    pokus->setObjectName(QStringLiteral("pokus1"));
    connect(pokus, &QAction::triggered, this, &DataWindow::pokus1Click);
}

QColor DataWindow::normalColour()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
}

void DataWindow::setBoxColour(QWidget* box, const QColor& colour)
{
    QPalette colours = box->palette();
    colours.setColor(QPalette::Base, colour);
    box->setPalette(colours);
}

void DataWindow::clearBoxes()
{
    m_edit1->clear();
    m_edit2->clear();
    m_maskEdit1->setMaskedText(dateForMask(QDate::currentDate(), shortDateFormat()));
    m_maskEdit2->setMaskedText(QString());
    m_maskEdit3->setMaskedText(QString());
}

void DataWindow::FormCreate()
{
    clearBoxes();
}

void DataWindow::FormActivate()
{
    clearBoxes();
    results::createResultsTableIfMissing();
}

void DataWindow::focusWindowChanged(QWindow* window)
{
    // The activation handler runs when the focus comes to this window from the test window (or at
    // start-up), not when it comes back from a message box or from another program.
    if (!window) {
        return;
    }
    if (window == windowHandle()) {
        if (m_lastForm != LastForm::Data) {
            m_lastForm = LastForm::Data;
            guarded(this, [&] { FormActivate(); });
        }
    } else if (m_session.isTestWindow(window)) {
        m_lastForm = LastForm::Test;
    }
}

SubjectTexts DataWindow::subject() const
{
    return {m_edit2->text(), m_edit1->text(), m_maskEdit2->maskedText(), m_maskEdit3->maskedText(),
            m_maskEdit1->maskedText()};
}

void DataWindow::focusFirstName()
{
    m_edit1->show();
    activateWindow();
    m_edit1->setFocus(Qt::OtherFocusReason);
}

void DataWindow::restoreAfterFailedStart()
{
    show();
    raise();
    activateWindow();
}

void DataWindow::BitBtn1Click()
{
    guarded(this, [&] {
        if (const auto fault = checkSubject(subject())) {
            refuse(*fault);
            return;
        }
        // A program that would fail, get stuck or store a wrong result is refused before anyone sits
        // through it; the examiner fixes it in the editor and presses "Data  OK" again. So is a table the
        // result could not be stored in (not writable now, or not a results table).
        if (const auto refusal = m_session.refusalBeforeTest()) {
            MessageBox::show(this, MessageBox::Icon::None, QStringLiteral("???"), QString::fromStdString(*refusal));
            return;
        }
        hide();
        m_session.startTest();
    });
}

void DataWindow::refuse(SubjectFault fault)
{
    switch (fault) {
    case SubjectFault::NoSurname:
        setBoxColour(m_edit2, highlightColour());
        m_edit2->setFocus(Qt::OtherFocusReason);
        return;
    case SubjectFault::NoBirthNumber1:
        setBoxColour(m_maskEdit2, highlightColour());
        m_maskEdit2->setFocus(Qt::OtherFocusReason);
        return;
    case SubjectFault::NoBirthNumber2:
        setBoxColour(m_maskEdit3, highlightColour());
        m_maskEdit3->setFocus(Qt::OtherFocusReason);
        return;
    case SubjectFault::BirthNumber1NotANumber:
        setBoxColour(m_maskEdit2, highlightColour());
        MessageBox::show(this, MessageBox::Icon::None, QStringLiteral("???"), kBirthNumberMessage);
        m_maskEdit2->setMaskedText(QString());
        m_maskEdit2->setFocus(Qt::OtherFocusReason);
        return;
    }
}

void DataWindow::DBFactive1Click()
{
    guarded(this, [&] { m_browser->setShown(!m_browser->isShown()); });
}

void DataWindow::Editprog1Click()
{
    guarded(this, [&] { m_session.showProgramEditor(); });
}

void DataWindow::exit2Click()
{
    guarded(this, [&] { m_session.closeTestWindow(); });
}

void DataWindow::pokus1Click()
{
    guarded(this, [&] {
        // Text typed into the grid's open cell belongs to the row that the store settles first.
        if (m_browser->takeOverEditorText()) {
            m_session.storeNow();
        }
    });
}

bool DataWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_edit2) {
            setBoxColour(m_edit2, normalColour()); // Edit2Enter
        } else if (watched == m_maskEdit3) {
            setBoxColour(m_maskEdit3, normalColour()); // MaskEdit3Enter
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // Enter in a box moves on to the next control instead of being typed.
        focusNextChild();
        return true;
    }
    if (watched == m_maskEdit2 || watched == m_maskEdit3) {
        // Backspace and Delete erase positions; every other typed character but a digit is dropped,
        // the control characters of copy, paste and cut and Escape included.
        const QString text = key->text();
        const bool erases = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete;
        if (!erases && !text.isEmpty()
            && !(text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9'))) {
            return true;
        }
    }
    return false;
}

void DataWindow::contextMenuEvent(QContextMenuEvent* event)
{
    m_popup->popup(event->globalPos());
}

} // namespace ui
