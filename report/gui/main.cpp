// tivora-report: the statistics, protocols and exports of a results table or of the central database.
// With "export" or "protocol" it works as a command; otherwise it opens the examiner's window.
#include "base/local_date.h"
#include "report/command_line.h"
#include "report/gui/protocol_output.h"
#include "report/gui/report_window.h"
#include "report/norms/norms_command.h"
#include "report/output_platform.h"
#include "report/verify.h"
#include "results/schema.h"
#include "ui/common/application.h"
#include "ui/common/remembered_folder.h"

#ifdef TIVORA_DATABASE_ACCESS
#include "central/pg.h"
#include "report/central/database_source.h"
#endif

#include <iostream>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("tivora-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TIVORA_VERSION));
}

// Opens the central database for a command, when this program was built with database access.
report::DatabaseOpener databaseOpener()
{
#ifdef TIVORA_DATABASE_ACCESS
    return [](const std::string& conninfo) -> std::unique_ptr<report::TestSource> {
        return std::make_unique<report::database::DatabaseSource>(conninfo);
    };
#else
    return {};
#endif
}

// Why the connection string given on the command line is refused (it holds a password, or this
// program has no database access); empty when it is not.
std::string refusedDatabase(const std::string& conninfo)
{
#ifdef TIVORA_DATABASE_ACCESS
    try {
        central::refusePassword(conninfo, "given with --database");
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
#else
    (void)conninfo;
    return "this tivora-report has no database access";
#endif
}

int usageError(const std::string& error)
{
    std::cerr << "tivora-report: " << error << "\nTry 'tivora-report --help'.\n";
    return report::kExitUsage;
}

int runWindow(int argc, char* argv[])
{
    ui::Application app(argc, argv); // takes Qt's own options (-platform, ...) off the command line
    app.setQuitOnLastWindowClosed(true);
    nameApplication();
    std::vector<std::string> args;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) {
        args.push_back(arg.toStdString());
    }
    const report::ParsedCommandLine parsed = report::parseCommandLine(args);
    if (!parsed.command) {
        return usageError(parsed.error);
    }
    const report::DatabaseOpener openDatabase = databaseOpener();
    if (!parsed.command->database.empty()) {
        if (std::string error = refusedDatabase(parsed.command->database); !error.empty()) {
            return usageError(error);
        }
    }
    report::gui::ReportWindow window(parsed.command->exportOptions.analysis);
    window.setDatabaseOpener(openDatabase);
    window.setNormThreshold(parsed.command->exportOptions.norms.thresholdPr);
    if (parsed.command->normsPath.empty()) {
        window.restoreNormFile();
    } else {
        window.chooseNormFile(QString::fromStdString(parsed.command->normsPath));
    }
    window.show();
    if (!parsed.command->database.empty()) {
        window.openDatabase(QString::fromStdString(parsed.command->database));
        return app.exec();
    }
    QString table = QString::fromStdString(parsed.command->table);
    if (table.isEmpty()) {
        // Started from the menu, the current folder is the home folder: the table of the test folder
        // chosen last in Tivora is the one the examiner wants to see.
        const QString here = QString::fromUtf8(results::kResultsTableName);
        const QString remembered = QDir(ui::rememberedTestFolder()).filePath(here);
        if (QFileInfo::exists(here)) {
            table = here;
        } else if (!ui::rememberedTestFolder().isEmpty() && QFileInfo::exists(remembered)) {
            table = remembered;
        }
    }
    if (!table.isEmpty()) {
        window.openTable(table);
    }
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> args = report::platform::commandLineArguments(argc, argv);
    if (!args.empty() && args[0] == "norms") {
        const base::LocalDate today = base::localToday();
        const report::norms::ParsedNormsCommand norms = report::norms::parseNormsCommand(
            {args.begin() + 1, args.end()}, {today.year, today.month, today.day}, report::gui::systemDateOrder());
        return norms.command ? report::norms::runNormsBuild(*norms.command, std::cout, std::cerr)
                             : usageError(norms.error);
    }
    const bool command = !args.empty()
        && (args[0] == "export" || args[0] == "protocol" || args[0] == "verify" || args[0] == "keygen"
            || args[0] == "--help" || args[0] == "-h" || args[0] == "--version");
    if (!command) {
        return runWindow(argc, argv);
    }
    report::ParsedCommandLine parsed = report::parseCommandLine(args);
    if (!parsed.command) {
        return usageError(parsed.error);
    }
    // The tests' dates are read in the order the station's system writes them.
    parsed.command->exportOptions.norms.dateOrder = report::gui::systemDateOrder();
#ifdef TIVORA_DATABASE_ACCESS
    if (!parsed.command->database.empty()) {
        if (std::string error = refusedDatabase(parsed.command->database); !error.empty()) {
            return usageError(error);
        }
    }
#endif
    switch (parsed.command->kind) {
    case report::CommandKind::Help:
        std::cout << report::usageText();
        return report::kExitOk;
    case report::CommandKind::Version:
        std::cout << "tivora-report " << TIVORA_VERSION << '\n';
        return report::kExitOk;
    case report::CommandKind::Export:
        return report::runExport(*parsed.command, std::cerr, databaseOpener());
    case report::CommandKind::Keygen:
        return report::runKeygen(*parsed.command, std::cout, std::cerr);
    case report::CommandKind::Verify:
        return report::runVerify(parsed.command->table, std::cout, std::cerr);
    default:
        break;
    }
    // A protocol is drawn with Qt's fonts and PDF writer, which need an application object but no screen.
    // Windows' own platform needs none either, and draws with the system's fonts, as the window does.
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    // Qt's notes about the session (no runtime folder, no screen) mean nothing to a command's user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::cerr << "tivora-report: " << message.toStdString() << '\n';
        }
    });
    QGuiApplication app(argc, argv);
    nameApplication();
    return report::gui::runProtocol(*parsed.command, std::cerr, databaseOpener());
}
