#include "ui/common/application.h"

#include "ui/common/message_box.h"

#include <QFileInfo>

namespace ui {

QString applicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

QString withFinalPeriod(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // The test window is the main window: the program ends when it closes, not when the last window
    // does (the data window stays hidden after the test starts).
    setQuitOnLastWindowClosed(false);
}

QString Application::title()
{
    return applicationTitle(QCoreApplication::applicationFilePath());
}

void Application::showError(QWidget* parent, const QString& message)
{
    MessageBox::show(parent, MessageBox::Icon::Stop, title(), withFinalPeriod(message));
}

void Application::showNotice(QWidget* parent, const QString& message)
{
    MessageBox::show(parent, MessageBox::Icon::None, title(), message);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    guarded(nullptr, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace ui
