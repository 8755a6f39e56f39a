#include "ui/browser/delete_confirmation.h"

#include "ui/common/message_box.h"

#include <QWidget>
#include <QWindow>

namespace ui {

namespace {

// Takes the on-top position from a window for as long as it lives. Works on the native window, so the
// window is not hidden and shown again as a change of the widget's flags would do.
class OnTopSuspension
{
public:
    explicit OnTopSuspension(QWidget* window)
        : m_handle(window ? window->windowHandle() : nullptr)
        , m_wasOnTop(m_handle && m_handle->flags().testFlag(Qt::WindowStaysOnTopHint))
    {
        if (m_wasOnTop) {
            m_handle->setFlag(Qt::WindowStaysOnTopHint, false);
        }
    }
    ~OnTopSuspension()
    {
        if (m_wasOnTop && m_handle) {
            m_handle->setFlag(Qt::WindowStaysOnTopHint, true);
        }
    }
    OnTopSuspension(const OnTopSuspension&) = delete;
    OnTopSuspension& operator=(const OnTopSuspension&) = delete;

private:
    QWindow* m_handle;
    bool m_wasOnTop;
};

} // namespace

bool confirmRowDeletion(QWidget* window)
{
    const OnTopSuspension suspension(window);
    return MessageBox::show(nullptr, MessageBox::Icon::Question, QStringLiteral("Confirm"),
                            QStringLiteral("Delete record?"), MessageBox::Buttons::OkCancel)
        != MessageBox::Answer::Cancel;
}

} // namespace ui
