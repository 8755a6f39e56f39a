#include "base/error.h"
#include "base/file.h"
#include "base/messages.h"
#include "base/user_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

std::string failure(const char* pattern, const std::string& path, std::string_view reason)
{
    return text::formatMessage(pattern, {path}) + ": " + std::string(reason);
}

// Why a file of this type is refused; nothing for a regular file.
const char* refusal(mode_t mode)
{
    if (S_ISREG(mode)) {
        return nullptr;
    }
    if (S_ISDIR(mode)) {
        return messages::kIsAFolder;
    }
    if (S_ISFIFO(mode)) {
        return messages::kIsAPipe;
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return messages::kIsADevice;
    }
    return messages::kIsNotAFile;
}

[[noreturn]] void failToOpen(const std::string& path, int error)
{
    // A missing file gets the platform's standard text as it stands; it says all there is to say.
    if (error == ENOENT) {
        throw FileError(text::formatMessage(messages::kCannotOpenFile, {path}));
    }
    throw FileError(failure(messages::kCannotOpenFile, path, std::strerror(error)));
}

void refuseSpecialFile(const std::string& path, mode_t mode)
{
    if (const char* reason = refusal(mode)) {
        throw FileError(failure(messages::kCannotOpenFile, path, reason));
    }
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }

    // Closes it now; false (errno set) when the close reports a failure, such as a write that did not
    // reach the disk.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::string readUpTo(int fd, const std::string& path, std::uint64_t maxBytes, std::uint64_t expected)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(expected, maxBytes)) + 1);
    char buffer[64 * 1024];
    // One byte more than allowed is read to notice a file that grew since it was looked at.
    while (bytes.size() <= maxBytes) {
        const std::uint64_t room = std::min<std::uint64_t>(sizeof buffer, maxBytes - bytes.size() + 1);
        const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(room));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw FileError(failure(messages::kCannotReadFile, path, std::strerror(errno)));
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

} // namespace

std::optional<std::string> readUserFile(const std::string& path, std::uint64_t maxBytes)
{
    // Looked at before it is opened: opening a pipe waits for a writer, and opening a device may already
    // do something (rewind a tape, take a terminal).
    struct stat status
    { };
    if (::stat(path.c_str(), &status) != 0) {
        failToOpen(path, errno);
    }
    refuseSpecialFile(path, status.st_mode);
    // It may have been replaced in between: opened without waiting and without becoming the controlling
    // terminal, and looked at once more.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        failToOpen(path, errno);
    }
    if (::fstat(file.get(), &status) != 0) {
        failToOpen(path, errno);
    }
    refuseSpecialFile(path, status.st_mode);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > maxBytes) {
        return std::nullopt;
    }
    std::string bytes = readUpTo(file.get(), path, maxBytes, size);
    if (bytes.size() > maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

void replaceUserFile(const std::string& path, std::string_view bytes)
{
    const auto fail
        = [&](std::string_view reason) { throw FileError(failure(messages::kCannotCreateFile, path, reason)); };

    // A link to a file stays a link, and the file it names is replaced beside itself. A link that names
    // nothing is replaced like a missing file is created.
    std::string target = path;
    struct stat status
    { };
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    bool exists = false;
    if (::stat(target.c_str(), &status) == 0) {
        if (const char* reason = refusal(status.st_mode)) {
            fail(reason);
        }
        exists = true;
    } else if (errno != ENOENT) {
        fail(std::strerror(errno));
    }

    const std::string temporary = target + ".new";
    // Whatever a crash or someone else left under the temporary name makes way (a folder cannot, and the
    // exclusive creation below then fails); the new file is never written through a link or into a pipe.
    ::unlink(temporary.c_str());
    const mode_t permissions = exists ? (status.st_mode & 07777) : 0666;
    Descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions));
    if (out.get() < 0) {
        fail(std::strerror(errno));
    }
    const auto failAndRemove = [&](int error) {
        out.close();
        ::unlink(temporary.c_str());
        fail(std::strerror(error));
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(out.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failAndRemove(n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    // The creation masked the permissions with the umask; the old file's are kept as they were.
    if (exists && ::fchmod(out.get(), permissions) != 0) {
        failAndRemove(errno);
    }
    // On the disk before the rename: a crash after it must not leave an empty program.
    if (::fsync(out.get()) != 0) {
        failAndRemove(errno);
    }
    if (!out.close()) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(std::strerror(error));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(std::strerror(error));
    }
}

} // namespace base
