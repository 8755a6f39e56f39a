#pragma once

#include "ui/session/subject_source.h"

#include <QMainWindow>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWindow;

namespace ui {

class MaskEdit;
class ResultsBrowser;
class TestWindow;

// Form3, the subject data window: the examiner enters the examined person's identity and starts the
// test with "Data  OK". It also carries the examiner's menu ("DBF ", "Edit.prog.", "exit") and the
// pop-up menu ("test", "pokus"), and the results browser. It stays on top of the test window.
class DataWindow : public QMainWindow, public SubjectSource
{
    Q_OBJECT

public:
    // Creates the window (FormCreate: boxes cleared, today's date) and shows it, centred on the screen.
    // `testWindow` must outlive it.
    explicit DataWindow(TestWindow& testWindow, QWidget* parent = nullptr);

    // SubjectSource
    SubjectTexts subject() const override;
    void focusFirstName() override;
    void restoreAfterFailedStart() override;

    // Normal colour of the text boxes (the system window colour) and the highlight of a failed check.
    static QColor normalColour();
    static QColor highlightColour() { return QColor(255, 255, 0); }

public slots:
    void BitBtn1Click();
    void DBFactive1Click();
    void Editprog1Click();
    void exit2Click();
    void pokus1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void clearBoxes();
    void focusWindowChanged(QWindow* window);
    void setBoxColour(QWidget* box, const QColor& colour);
    void buildControls(QWidget* client);
    void buildMenus();

    TestWindow& m_testWindow;
    QLineEdit* m_edit1;
    QLineEdit* m_edit2;
    MaskEdit* m_maskEdit2;
    MaskEdit* m_maskEdit3;
    MaskEdit* m_maskEdit1;
    QPushButton* m_bitBtn1;
    ResultsBrowser* m_browser;
    QMenu* m_popup;
    enum class LastForm { None, Data, Test } m_lastForm = LastForm::None;
};

} // namespace ui
