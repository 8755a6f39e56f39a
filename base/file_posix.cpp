#include "base/error.h"
#include "base/file.h"
#include "base/messages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace base {

namespace {

std::string failure(const char* pattern, const std::string& path, int error)
{
    return text::formatMessage(pattern, {path}) + ": " + std::strerror(error);
}

class PosixFile final : public File
{
public:
    PosixFile(std::string path, int fd)
        : File(std::move(path))
        , m_fd(fd)
    { }
    ~PosixFile() override { ::close(m_fd); }

    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override
    {
        auto* out = static_cast<char*>(data);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw FileError(failure(messages::kCannotReadFile, path(), errno));
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override
    {
        const auto* in = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                // A write that makes no progress would loop forever; report it like any other failure.
                throw FileError(failure(messages::kCannotWriteFile, path(), n < 0 ? errno : EIO));
            }
            done += static_cast<std::size_t>(n);
        }
    }

    std::uint64_t size() override
    {
        struct stat info
        { };
        if (::fstat(m_fd, &info) != 0) {
            throw FileError(failure(messages::kCannotReadFile, path(), errno));
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    void truncate(std::uint64_t size) override
    {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            throw FileError(failure(messages::kCannotWriteFile, path(), errno));
        }
    }

    void sync() override
    {
        if (::fdatasync(m_fd) != 0) {
            throw FileError(failure(messages::kCannotWriteFile, path(), errno));
        }
    }

    void lock() override { setLock(F_WRLCK); }
    void unlock() override { setLock(F_UNLCK); }

private:
    void setLock(short type)
    {
        struct flock request
        { };
        request.l_type = type;
        request.l_whence = SEEK_SET;
        request.l_start = 0;
        request.l_len = 0; // the whole file, however far it grows
        while (::fcntl(m_fd, F_SETLKW, &request) != 0) {
            if (errno != EINTR) {
                throw FileError(failure(messages::kCannotLockFile, path(), errno));
            }
        }
    }

    int m_fd;
};

int openDescriptor(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Why a file of this kind is refused, or nullptr for a regular file.
const char* notRegularReason(const struct stat& info)
{
    if (S_ISREG(info.st_mode)) {
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        return messages::kIsDirectory;
    }
    if (S_ISFIFO(info.st_mode)) {
        return messages::kIsNamedPipe;
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        return messages::kIsDevice;
    }
    if (S_ISSOCK(info.st_mode)) {
        return messages::kIsSocket;
    }
    return messages::kIsNotRegular;
}

[[noreturn]] void refuse(const char* pattern, const std::string& path, const char* reason)
{
    throw FileError(text::formatMessage(pattern, {path}) + ": " + reason);
}

// Opens the regular file `path` with `flags`. Anything else under that name is refused before it is opened
// (opening a device can have effects of its own), and what was opened is checked again, since the name may
// have been given to something else in between. Opening never waits: a named pipe opened for reading would
// wait for a writer. Returns -1 with errno set when the system refuses the open; throws FileError
// "<pattern's text> <path>: <reason>" for anything that is not a regular file.
int openRegularFile(const std::string& path, int flags, const char* pattern)
{
    struct stat info
    { };
    if (::stat(path.c_str(), &info) == 0) {
        if (const char* reason = notRegularReason(info)) {
            refuse(pattern, path, reason);
        }
    }
    const int fd = openDescriptor(path, flags | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return fd;
    }
    const char* reason = nullptr;
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
    } else {
        reason = notRegularReason(info);
    }
    // Back to blocking calls for what follows (regular files never wait, but a lock request must). Of the
    // flags given, F_SETFL changes only O_NONBLOCK, which it clears.
    if (!reason && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        reason = std::strerror(errno);
    }
    if (reason) {
        ::close(fd);
        refuse(pattern, path, reason);
    }
    return fd;
}

} // namespace

std::unique_ptr<File> openFile(const std::string& path, OpenMode mode)
{
    const int fd = openRegularFile(path, mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR, messages::kCannotOpenFile);
    if (fd < 0) {
        if (errno == ENOENT) {
            return nullptr;
        }
        throw FileError(failure(messages::kCannotOpenFile, path, errno));
    }
    return std::make_unique<PosixFile>(path, fd);
}

std::unique_ptr<File> openOrCreateFile(const std::string& path)
{
    const int fd = openRegularFile(path, O_RDWR | O_CREAT, messages::kCannotCreateFile);
    if (fd < 0) {
        throw FileError(failure(messages::kCannotCreateFile, path, errno));
    }
    return std::make_unique<PosixFile>(path, fd);
}

std::unique_ptr<File> createFileExclusive(const std::string& path)
{
    // O_EXCL never opens what exists, so the file opened is always a new regular file.
    const int fd = openDescriptor(path, O_RDWR | O_CREAT | O_EXCL);
    if (fd < 0) {
        if (errno == EEXIST) {
            return nullptr;
        }
        throw FileError(failure(messages::kCannotCreateFile, path, errno));
    }
    return std::make_unique<PosixFile>(path, fd);
}

PublishResult publishFile(const std::string& from, const std::string& to)
{
    // link() fails instead of replacing an existing name, which rename() would do.
    if (::link(from.c_str(), to.c_str()) == 0) {
        removeFileQuietly(from);
        return PublishResult::Published;
    }
    switch (errno) {
    case EEXIST:
        return PublishResult::TargetExists;
    case EPERM:
    case ENOTSUP:
    case EXDEV:
    case EMLINK:
        return PublishResult::Unsupported;
    default:
        throw FileError(failure(messages::kCannotCreateFile, to, errno));
    }
}

void removeFileQuietly(const std::string& path) noexcept
{
    ::unlink(path.c_str());
}

bool fileExists(const std::string& path)
{
    struct stat info
    { };
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> fileIdentity(const std::string& path)
{
    struct stat info
    { };
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":"
        + std::to_string(static_cast<unsigned long long>(info.st_ino));
}

char pathSeparator()
{
    return '/';
}

bool isAbsolutePath(const std::string& path)
{
    return !path.empty() && path[0] == '/';
}

std::string programDirectory()
{
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return "/";
    }
    std::string exe(buffer.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

} // namespace base
