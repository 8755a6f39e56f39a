#include "ui/command_line.h"

#include "ui/folder_choice.h"
#include "ui/platform.h"

#include <cstdio>
#include <exception>
#include <utility>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace ui {

namespace {

// The options, in the order the help lists them. A new option is one entry here and one test in
// parseCommandLine().
struct Options
{
    QCommandLineOption help {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Vypíše tuto nápovědu.")};
    QCommandLineOption version {{QStringLiteral("v"), QStringLiteral("version")},
                                QStringLiteral("Vypíše verzi programu.")};
    QCommandLineOption chooseFolder {QStringLiteral("choose-folder"),
                                     QStringLiteral("Nejdřív se zeptá na složku s testem (program.txt, obrazovky s "
                                                    "pokyny, tivora4.DBF); tak program spouští nabídka.")};

    QCommandLineOption selfTest {QStringLiteral("self-test"),
                                 QStringLiteral("Několik sekund měří časovač a vykreslování a řekne, zda je "
                                                "stanice způsobilá k měření reakční doby.")};

    void addTo(QCommandLineParser& parser) const { parser.addOptions({help, version, chooseFolder, selfTest}); }
};

StartRequest answer(QString output, int exitCode)
{
    StartRequest request;
    request.action = StartRequest::Action::Answer;
    request.output = std::move(output);
    request.exitCode = exitCode;
    return request;
}

// The help text. Qt names the program in its usage line after the application object's arguments, or
// with a placeholder before there is one; here it is named as in the arguments parsed.
QString helpText(const QCommandLineParser& parser, const QString& program)
{
    QString text = parser.helpText();
    const QString named = QStringLiteral("Usage: ")
        + (QCoreApplication::instance() ? QCoreApplication::arguments().constFirst()
                                        : QStringLiteral("<executable_name>"));
    if (text.startsWith(named)) {
        text.replace(0, named.size(), QStringLiteral("Usage: ") + program);
    }
    return text;
}

StartRequest usageError(const QString& program, const QString& message)
{
    return answer(QStringLiteral("%1: %2\nNápověda: %1 --help\n").arg(program, message), 1);
}

} // namespace

StartRequest parseCommandLine(const QStringList& arguments)
{
    const QString program = arguments.isEmpty() ? QStringLiteral("tivora") : arguments.first();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tivora: měření jednoduché zrakové reakční doby. Bez voleb "
                                                    "pracuje v aktuální složce."));
    const Options options;
    options.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("složka"),
                                 QStringLiteral("Složka s testem; program v ní pracuje, jako by v ní byl spuštěn."),
                                 QStringLiteral("[složka]"));

    if (!parser.parse(arguments)) {
        return usageError(program, parser.errorText());
    }
    if (parser.isSet(options.help)) {
        return answer(helpText(parser, program), 0);
    }
    if (parser.isSet(options.version)) {
        return answer(QStringLiteral("tivora %1\n").arg(QStringLiteral(TIVORA_VERSION)), 0);
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        return usageError(program, QStringLiteral("Zadejte nejvýš jednu složku."));
    }

    StartRequest request;
    request.action
        = parser.isSet(options.chooseFolder) ? StartRequest::Action::ChooseFolder : StartRequest::Action::Test;
    if (parser.isSet(options.selfTest)) {
        request.action = StartRequest::Action::SelfTest;
    }
    request.folder = folders.value(0);
    return request;
}

int printAnswer(const StartRequest& request)
{
    std::FILE* stream = request.exitCode == 0 ? stdout : stderr;
    std::fputs(request.output.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return request.exitCode;
}

std::optional<int> answerEarly(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const StartRequest request = parseCommandLine(arguments);
    if (request.action == StartRequest::Action::Answer && request.exitCode == 0) {
        return printAnswer(request);
    }
    return std::nullopt;
}

std::optional<int> enterTestFolder(const StartRequest& request)
{
    QString folder = request.folder;
    if (request.action == StartRequest::Action::ChooseFolder) {
        folder = chooseTestFolder(folder);
        if (folder.isEmpty()) {
            return 0;
        }
    }
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    try {
        platform::changeDirectory(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tivora: %s: %s\n", QDir::toNativeSeparators(folder).toLocal8Bit().constData(),
                     error.what());
        return 1;
    }
    return std::nullopt;
}

} // namespace ui
