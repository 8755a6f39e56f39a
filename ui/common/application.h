#pragma once

#include <exception>

#include <QApplication>
#include <QString>

class QWidget;

namespace ui {

// The application title: the executable's file name without its directory, cut at the first ".",
// every character after the first in lower case ("/opt/TIVORA.bin" gives "Tivora").
QString applicationTitle(const QString& executablePath);

// A message as the error handler shows it: with a period appended when its last character comes
// after "." in the character order (so "... program.txt" gets one, "... 3)." and "file " do not).
QString withFinalPeriod(const QString& message);

// The program's application object and its default error handler.
class Application : public QApplication
{
public:
    Application(int& argc, char** argv);

    // The title of the program's message boxes (applicationTitle() of this executable).
    static QString title();

    // The default error handler: shows `message` with the period rule in a modal box with a stop icon
    // and an OK button, titled with the application title. The program goes on afterwards.
    static void showError(QWidget* parent, const QString& message);

    // Shows a notice (for instance a table-header correction) in a modal box with an OK button.
    static void showNotice(QWidget* parent, const QString& message);

    // Last-resort net: an exception that escaped a handler's own guard is shown, never propagated
    // through the event loop.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs `body`, the body of a slot or an event handler, and shows any exception it throws with the
// default error handler. The handler stops at the failing step; nothing crosses the event loop.
template<typename Body>
void guarded(QWidget* context, Body&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& error) {
        Application::showError(context, QString::fromUtf8(error.what()));
    } catch (...) {
        Application::showError(context, QStringLiteral("Unexpected error"));
    }
}

} // namespace ui
