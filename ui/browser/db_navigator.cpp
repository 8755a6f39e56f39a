#include "ui/browser/db_navigator.h"

#include "storage/dataset.h"
#include "ui/common/application.h"

#include <QEvent>
#include <QIcon>
#include <QToolButton>

namespace ui {

namespace {

constexpr int kButtonWidth = 24;
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 100;

const char* buttonName(NavButton which)
{
    static const char* const names[kNavButtonCount]
        = {"firstToolButton",  "priorToolButton", "nextToolButton", "lastToolButton",   "insertToolButton",
           "deleteToolButton", "editToolButton",  "postToolButton", "cancelToolButton", "refreshToolButton"};
    return names[static_cast<int>(which)];
}

} // namespace

QString DbNavigator::hint(NavButton which)
{
    static const char* const hints[kNavButtonCount]
        = {"First record",  "Prior record", "Next record", "Last record", "Insert record",
           "Delete record", "Edit record",  "Post edit",   "Cancel edit", "Refresh data"};
    return QString::fromLatin1(hints[static_cast<int>(which)]);
}

DbNavigator::DbNavigator(storage::Dataset& table, QWidget* parent)
    : QWidget(parent)
    , m_table(table)
{
    setObjectName(QStringLiteral("DBNavigator1"));
    setFocusPolicy(Qt::NoFocus);
    for (int i = 0; i < kNavButtonCount; ++i) {
        const auto which = static_cast<NavButton>(i);
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(buttonName(which)));
        button->setFocusPolicy(Qt::NoFocus);
        // The hint is the button's tool tip; the data window shows no hints, so the filter below
        // swallows the tool-tip events.
        button->setToolTip(hint(which));
        button->installEventFilter(this);
        QIcon icon;
        icon.addPixmap(navigatorPicture(which, true), QIcon::Normal);
        icon.addPixmap(navigatorPicture(which, false), QIcon::Disabled);
        button->setIcon(icon);
        button->setIconSize(QSize(12, 12));
        if (which == NavButton::Prior || which == NavButton::Next) {
            button->setAutoRepeat(true);
            button->setAutoRepeatDelay(kRepeatDelayMs);
            button->setAutoRepeatInterval(kRepeatIntervalMs);
        }
        connect(button, &QToolButton::clicked, this, [this, which] { click(which); });
        m_buttons[static_cast<std::size_t>(i)] = button;
    }
    m_listener = m_table.addListener([this](storage::DatasetEvent) { updateButtons(); });
    updateButtons();
}

DbNavigator::~DbNavigator()
{
    m_table.removeListener(m_listener);
}

void DbNavigator::resizeEvent(QResizeEvent*)
{
    for (int i = 0; i < kNavButtonCount; ++i) {
        m_buttons[static_cast<std::size_t>(i)]->setGeometry(i * kButtonWidth, 0, kButtonWidth, height());
    }
}

bool DbNavigator::eventFilter(QObject*, QEvent* event)
{
    return event->type() == QEvent::ToolTip;
}

void DbNavigator::updateButtons()
{
    const bool open = m_table.isOpen();
    const bool modify = open && m_table.canModify();
    const auto state = m_table.state();
    const bool editing = state == storage::DatasetState::Edit || state == storage::DatasetState::Insert;
    const auto set = [this](NavButton which, bool enabled) { button(which)->setEnabled(enabled); };
    set(NavButton::First, open && !m_table.bof());
    set(NavButton::Prior, open && !m_table.bof());
    set(NavButton::Next, open && !m_table.eof());
    set(NavButton::Last, open && !m_table.eof());
    set(NavButton::Insert, modify);
    set(NavButton::Refresh, modify);
    set(NavButton::Delete, modify && !m_table.isEmpty());
    set(NavButton::Edit, modify && !editing);
    set(NavButton::Post, modify && editing);
    set(NavButton::Cancel, modify && editing);
}

void DbNavigator::click(NavButton which)
{
    if (!m_table.isOpen() || !button(which)->isEnabled()) {
        return;
    }
    guarded(this, [&] { act(which); });
}

bool DbNavigator::takeOverEditorText()
{
    return !m_hooks.takeOverEditorText || m_hooks.takeOverEditorText();
}

void DbNavigator::act(NavButton which)
{
    const auto drop = [this] {
        if (m_hooks.dropEditorText) {
            m_hooks.dropEditorText();
        }
    };
    switch (which) {
    case NavButton::Delete:
        if (!m_hooks.confirmDelete || m_hooks.confirmDelete()) {
            drop();
            m_table.deleteRow();
        }
        return;
    case NavButton::Cancel:
        drop();
        m_table.cancel();
        return;
    case NavButton::Edit:
        m_table.edit();
        return;
    default:
        break;
    }
    // Every other action leaves the row, or writes it: the text typed into the cell goes in first.
    if (!takeOverEditorText()) {
        return;
    }
    switch (which) {
    case NavButton::First:
        m_table.first();
        break;
    case NavButton::Prior:
        m_table.prior();
        break;
    case NavButton::Next:
        m_table.next();
        break;
    case NavButton::Last:
        m_table.last();
        break;
    case NavButton::Insert:
        m_table.insert();
        break;
    case NavButton::Post:
        m_table.post();
        break;
    case NavButton::Refresh:
        m_table.refresh();
        break;
    default:
        break;
    }
}

} // namespace ui
