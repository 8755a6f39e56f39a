#pragma once

#include <QString>

namespace ui {

// The examined person's identity exactly as the data window's boxes report it.
struct SubjectTexts
{
    QString surname;
    QString firstName;
    QString birthNumber1; // 6 characters, blank positions as spaces
    QString birthNumber2; // 4 characters
    QString date;         // 10 characters
};

// What the test window needs of the subject data window.
class SubjectSource
{
public:
    virtual ~SubjectSource() = default;

    // The identity as the boxes report it now.
    virtual SubjectTexts subject() const = 0;

    // Makes the first-name box visible and gives it the focus, which activates the data window.
    virtual void focusFirstName() = 0;

    // Shows the data window again after a test could not start.
    virtual void restoreAfterFailedStart() = 0;
};

} // namespace ui
