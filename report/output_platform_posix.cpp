// POSIX (Linux): a temporary file holds a lock while it is written, so that another export's clean-up can
// tell a file of a running export (locked) from one a killed export left (the lock died with it). The
// lock is one of the open file description (F_OFD_SETLK): a clean-up in the same process conflicts with
// it too, and closing the clean-up's own descriptor does not release it.
#include "report/output_platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace report::platform {

namespace {

constexpr char kTemporaryPrefix[] = ".tivora-report-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string systemReason(int error)
{
    return std::strerror(error);
}

// Takes the lock of the open file `fd`; with `wait`, waits for another holder to let go.
bool lockFile(int fd, bool wait)
{
    struct flock request
    { };
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    request.l_pid = 0; // as locks of open file descriptions need
    int result = 0;
    do {
        result = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &request);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// True when the name `path` still names the open file `fd`.
bool namesFile(const std::string& path, int fd)
{
    struct stat named
    { };
    struct stat open
    { };
    return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev
        && named.st_ino == open.st_ino;
}

bool isTemporaryName(const char* name)
{
    const std::size_t length = std::strlen(name);
    const std::size_t prefix = sizeof kTemporaryPrefix - 1;
    const std::size_t suffix = sizeof kTemporarySuffix - 1;
    return length > prefix + suffix && std::strncmp(name, kTemporaryPrefix, prefix) == 0
        && std::strcmp(name + length - suffix, kTemporarySuffix) == 0;
}

std::string newTemporaryName(const std::string& folder)
{
    static std::mt19937_64 generator {std::random_device {}()};
    static const char digits[] = "0123456789abcdef";
    std::string name = folder + kTemporaryPrefix;
    std::uint64_t random = generator();
    for (int i = 0; i < 16; ++i, random >>= 4) {
        name += digits[random & 0xFU];
    }
    return name + kTemporarySuffix;
}

// Gives the new file `fd` the permissions and, where allowed, the owner of the file at `like`.
void copyPermissions(int fd, const std::string& like)
{
    struct stat old
    { };
    if (::stat(like.c_str(), &old) != 0) {
        return;
    }
    // Changing the owner needs privileges and changing the group membership of it: where it fails, the
    // file stays this user's, which is what a new file would be.
    [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
    ::fchmod(fd, old.st_mode & 07777);
}

} // namespace

const char* const kPathSeparators = "/";

std::optional<OutputTarget> outputTarget(const std::string& path, std::string& reason)
{
    struct stat info
    { };
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return OutputTarget {path, false}; // a new name; a missing folder is named when creating
        }
        reason = systemReason(errno);
        return std::nullopt;
    }
    OutputTarget target {path, true};
    if (S_ISLNK(info.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) {
            reason = errno == ENOENT ? "it is a symbolic link to nothing" : systemReason(errno);
            return std::nullopt;
        }
        target.path = resolved;
        std::free(resolved);
        if (::stat(target.path.c_str(), &info) != 0) {
            reason = systemReason(errno);
            return std::nullopt;
        }
    }
    if (S_ISDIR(info.st_mode)) {
        reason = "it is a folder";
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "it is not a regular file but a device, a pipe or a socket";
        return std::nullopt;
    }
    return target;
}

std::FILE* createTemporary(const std::string& folder, const std::string& replacing, std::string& path,
                           std::string& reason)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = newTemporaryName(folder);
        // Only this user can read the file until it has the permissions it is to keep.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, replacing.empty() ? 0666 : 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            reason = systemReason(errno);
            return nullptr;
        }
        // Another export's clean-up may have found the file between its creation and the lock, and
        // removed it: then this one is no longer under its name, and another is made.
        if (!lockFile(fd, true) || !namesFile(path, fd)) {
            ::close(fd);
            continue;
        }
        if (!replacing.empty()) {
            copyPermissions(fd, replacing);
        }
        std::FILE* stream = ::fdopen(fd, "wb");
        if (!stream) {
            reason = systemReason(errno);
            ::unlink(path.c_str());
            ::close(fd);
        }
        return stream;
    }
    reason = "no free temporary name";
    return nullptr;
}

bool commitTemporary(std::FILE* stream, const std::string& path, const std::string& target, std::string& reason)
{
    int error = 0;
    if (std::fflush(stream) != 0 || std::ferror(stream) != 0) {
        error = errno != 0 ? errno : EIO;
    } else if (::fsync(::fileno(stream)) != 0) {
        error = errno;
    } else if (std::rename(path.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        reason = systemReason(error);
        dropTemporary(stream, path);
        return false;
    }
    // The rename itself reaches the disk with the folder's entry. A folder that cannot be synced (some
    // network file systems) still has the complete file under one name or the other.
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    // Closed only now: until the rename the lock kept other exports' clean-up away from the file.
    if (std::fclose(stream) != 0) {
        reason = systemReason(errno);
        return false;
    }
    return true;
}

void dropTemporary(std::FILE* stream, const std::string& path) noexcept
{
    ::unlink(path.c_str()); // before closing, while the lock still says the file is in use
    std::fclose(stream);
}

void removeStaleTemporaries(const std::string& folder) noexcept
{
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!directory) {
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        if (!isTemporaryName(entry->d_name)) {
            continue;
        }
        const std::string path = folder + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info
        { };
        // A lock that can be had belongs to no running export.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && lockFile(fd, false) && namesFile(path, fd)) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
    ::closedir(directory);
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void setBinaryMode(std::FILE*) { }

} // namespace report::platform
