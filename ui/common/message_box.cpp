#include "ui/common/message_box.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace ui {

std::deque<MessageBox::Answer> MessageBox::s_nextAnswers;
std::vector<MessageBox::Shown> MessageBox::s_shown;
bool MessageBox::s_autoAnswer = false;

namespace {

QMessageBox::Icon qtIcon(MessageBox::Icon icon)
{
    switch (icon) {
    case MessageBox::Icon::Stop:
        return QMessageBox::Critical;
    case MessageBox::Icon::Question:
        return QMessageBox::Question;
    case MessageBox::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Ctrl+C copies the box's title, text and buttons as text, as the system's own boxes on Windows do, so that
// a message can be pasted into a note or a request for help.
class CopyableBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!event->matches(QKeySequence::Copy)) {
            QMessageBox::keyPressEvent(event);
            return;
        }
        const QString rule = QStringLiteral("---------------------------\n");
        QStringList buttonTexts;
        for (const QAbstractButton* button : buttons()) {
            buttonTexts.append(button->text());
        }
        QGuiApplication::clipboard()->setText(rule + windowTitle() + QLatin1Char('\n') + rule + text()
                                              + QLatin1Char('\n') + rule + buttonTexts.join(QLatin1Char(' '))
                                              + QLatin1Char('\n') + rule);
    }
};

} // namespace

MessageBox::Answer MessageBox::show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                                    Buttons buttons)
{
    s_shown.push_back({icon, title, text});
    if (!s_nextAnswers.empty()) {
        const Answer answer = s_nextAnswers.front();
        s_nextAnswers.pop_front();
        return answer;
    }
    if (s_autoAnswer) {
        return Answer::Ok;
    }

    CopyableBox box(qtIcon(icon), title, text, QMessageBox::NoButton, parent);
    box.setWindowModality(Qt::ApplicationModal);
    // The data window stays on top of the program's windows; the box must lie above it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    if (buttons == Buttons::OkCancel) {
        QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

void MessageBox::setNextAnswer(Answer answer)
{
    s_nextAnswers.push_back(answer);
}

void MessageBox::setAutoAnswer(bool enabled)
{
    s_autoAnswer = enabled;
}

std::vector<MessageBox::Shown> MessageBox::takeShown()
{
    std::vector<Shown> shown;
    shown.swap(s_shown);
    return shown;
}

} // namespace ui
