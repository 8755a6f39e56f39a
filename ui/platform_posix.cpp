#include "ui/platform.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <unistd.h>

namespace ui::platform {

namespace {

// The system error code the messages are numbered by, from a POSIX errno.
int systemErrorCode(int error)
{
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
        return 5;
    default:
        return error;
    }
}

} // namespace

void changeDirectory(const QString& path)
{
    if (::chdir(path.toLocal8Bit().constData()) != 0) {
        throw std::runtime_error(ioErrorMessage(systemErrorCode(errno)).toStdString());
    }
}

void reportFileSizeLimitAsError()
{
    // The write then fails with EFBIG.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace ui::platform
