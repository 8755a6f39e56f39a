#pragma once

#include <deque>
#include <vector>

#include <QString>

class QWidget;

namespace ui {

// Every message box of the program goes through here, so that tests can answer boxes before they
// open and see what was shown. A box is application-modal (all of the program's windows are disabled
// while it is open) and lies above the always-on-top data window.
class MessageBox
{
public:
    enum class Icon { None, Stop, Question };
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    struct Shown
    {
        Icon icon;
        QString title;
        QString text;
    };

    // Shows a modal box and returns the button chosen. With OkCancel, OK is the default button and
    // Escape or the close button answer Cancel. `parent` may be null (the box is then centred on the
    // screen). Ctrl+C in the box puts its title, text and buttons on the clipboard, between lines of
    // dashes.
    static Answer show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                       Buttons buttons = Buttons::Ok);

    // Test seam: the next box is not shown but answered at once with `answer`. Queued answers are used
    // in order.
    static void setNextAnswer(Answer answer);
    // Test seam: while set, every box is answered at once (Ok, or the queued answer) without showing.
    static void setAutoAnswer(bool enabled);
    // Every box shown (or answered by the seam) since the last call, oldest first.
    static std::vector<Shown> takeShown();

private:
    static std::deque<Answer> s_nextAnswers;
    static std::vector<Shown> s_shown;
    static bool s_autoAnswer;
};

} // namespace ui
