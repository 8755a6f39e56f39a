#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace ui {

// What one start of the program was asked to do on its command line.
struct StartRequest
{
    enum class Action {
        Test,         // the test program, working in `folder` (empty: the current directory)
        ChooseFolder, // ask for the test folder (the dialog opens in `folder` when one is given), then Test
        Answer,       // print `output` (help, version or a usage error) and end with `exitCode`
        SelfTest,     // the station check instead of the test
    };

    Action action = Action::Test;
    QString folder;
    QString output;
    int exitCode = 0;
};

// Reads the program's arguments, the program's own path first. Options are the GNU/Qt ones
// (--help, -h, --version, -v, --choose-folder, --self-test) plus at most one folder. Prints nothing; an unknown
// option or a second folder yields an Answer with the message and exit code 1.
StartRequest parseCommandLine(const QStringList& arguments);

// Prints an Answer's output (to standard output for exit code 0, to standard error otherwise) and
// returns its exit code.
int printAnswer(const StartRequest& request);

// Answers --help and --version before the application object exists, so that they need no display.
// Returns the exit code when the command line was answered, nothing when the program goes on.
// Anything else, a usage error included, waits until the application object has taken Qt's own
// options (-platform, -display, ...) out of the arguments.
std::optional<int> answerEarly(int argc, char** argv);

// Makes the test folder of a Test or ChooseFolder request the current directory; it must run before
// the windows are created, which read program.txt from there. Returns the exit code when the
// program is to end instead: 0 when the examiner cancelled the folder dialog, 1 (with a message on
// standard error) when the folder given on the command line cannot be entered.
std::optional<int> enterTestFolder(const StartRequest& request);

} // namespace ui
