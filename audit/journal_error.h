#pragma once

#include <stdexcept>

namespace audit {

// A journal entry that cannot be written as asked, or a journal that cannot be continued. what() is the
// message for the user.
class JournalError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace audit
