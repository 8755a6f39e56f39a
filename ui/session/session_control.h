#pragma once

#include "storage/dataset.h"

#include <optional>
#include <string>

class QWindow;

namespace ui {

class SubjectSource;

// What the data window asks of the test session (TestSession): the start of a test from "Data  OK",
// the examiner's menu, and the table the results browser shows.
class SessionControl
{
public:
    virtual ~SessionControl() = default;

    // Connects the data window, which must stay until the session ends. The start-up step (200 ms
    // after the session was created) waits for it.
    virtual void attachSubjectSource(SubjectSource* subject) = 0;

    // The results table. It stays the same object for the session's life.
    virtual storage::Dataset& table() = 0;

    // Why a test cannot start now, as the text of the box that says so: a program that would fail, get
    // stuck or store a wrong result, or a table the result could not be stored in. Nothing when the
    // test can start. Writes nothing.
    virtual std::optional<std::string> refusalBeforeTest() = 0;

    // Starts the test: hides the pointer and shows the first instruction screen in the test window.
    // Throws when it cannot begin; the data window and the pointer are then given back.
    virtual void startTest() = 0;

    // "pokus": stores one row now from the data window's identity and the measurement as it stands.
    // Throws on failure.
    virtual void storeNow() = 0;

    // "Edit.prog.": shows the program editor in the test window.
    virtual void showProgramEditor() = 0;

    // "exit": closes the test window, which stores the table's header and ends the program.
    virtual void closeTestWindow() = 0;

    // Whether `window` is the test window's (the data window tells the focus coming back from the test
    // window from the focus coming back from a box).
    virtual bool isTestWindow(const QWindow* window) const = 0;
};

} // namespace ui
