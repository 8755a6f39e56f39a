#pragma once

#include "ui/session/subject_source.h"
#include "ui/subject/subject_check.h"

#include <QMainWindow>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWindow;

namespace ui {

class MaskEdit;
class ResultsBrowser;
class SessionControl;

// Form3, the subject data window: the examiner enters the examined person's identity and starts the
// test with "Data  OK". It also carries the examiner's menu ("DBF ", "Edit.prog.", "exit") and the
// pop-up menu ("test", "pokus"), and the results browser. It stays on top of the test window.
class DataWindow : public QMainWindow, public SubjectSource
{
    Q_OBJECT

public:
    // Creates the window (FormCreate: boxes cleared, today's date) and shows it, centred on the screen.
    // `session` must outlive it.
    explicit DataWindow(SessionControl& session, QWidget* parent = nullptr);

    // SubjectSource
    SubjectTexts subject() const override;
    void focusFirstName() override;
    void restoreAfterFailedStart() override;

    // Normal colour of the text boxes (the system window colour) and the highlight of a failed check.
    static QColor normalColour();
    static QColor highlightColour() { return QColor(255, 255, 0); }

public slots:
    void BitBtn1Click();    // "Data  OK": checks the identity, the program and the table, then starts the test
    void DBFactive1Click(); // menu "DBF ": shows or hides the results browser
    void Editprog1Click();  // menu "Edit.prog.": shows the program editor
    void exit2Click();      // menu "exit": closes the test window, which ends the program
    void pokus1Click();     // pop-up menu "pokus": stores a row at once

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void FormCreate();   // at creation: boxes cleared, today's date
    void FormActivate(); // back from the test window: boxes cleared, a missing table created
    void clearBoxes();
    void focusWindowChanged(QWindow* window);
    void setBoxColour(QWidget* box, const QColor& colour);
    // Marks the box `fault` is about and gives it the focus; a first part of the birth number that is no
    // number is said so in a box and emptied.
    void refuse(SubjectFault fault);
    void buildControls(QWidget* client);
    void buildMenus();

    SessionControl& m_session;
    QLineEdit* m_edit1;        // first name
    QLineEdit* m_edit2;        // surname
    MaskEdit* m_maskEdit2;     // birth number, the six digits before the slash
    MaskEdit* m_maskEdit3;     // birth number, the four digits after the slash
    MaskEdit* m_maskEdit1;     // today's date, read-only
    QPushButton* m_bitBtn1;    // "Data  OK"
    ResultsBrowser* m_browser; // grid and navigator, shown by "DBF "
    QMenu* m_popup;            // the pop-up menu: "test" (disabled) and "pokus"
    enum class LastForm { None, Data, Test } m_lastForm = LastForm::None;
};

} // namespace ui
