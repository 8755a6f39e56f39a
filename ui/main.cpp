#include "ui/command_line.h"
#include "ui/common/application.h"
#include "ui/platform.h"
#include "ui/session/session.h"
#include "ui/station/station_check.h"
#include "ui/subject/data_window.h"

int main(int argc, char* argv[])
{
    if (const std::optional<int> exitCode = ui::answerEarly(argc, argv)) {
        return *exitCode;
    }
    ui::platform::reportFileSizeLimitAsError();
    ui::Application app(argc, argv);
    const ui::StartRequest request = ui::parseCommandLine(QCoreApplication::arguments());
    if (request.action == ui::StartRequest::Action::Answer) {
        return ui::printAnswer(request);
    }
    // The station check runs instead of the test, in windows of its own.
    if (request.action == ui::StartRequest::Action::SelfTest) {
        return ui::runStationCheck(request.folder);
    }
    if (const std::optional<int> exitCode = ui::enterTestFolder(request)) {
        return *exitCode;
    }
    ui::TestSession session;
    ui::DataWindow form3(session);
    session.window().showOnWholeScreen();
    form3.raise();
    return app.exec();
}
