#include "crypto/crypto_error.h"
#include "crypto/key_file.h"
#include "crypto/primitives.h"
#include "text/messages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crypto {

namespace {

[[noreturn]] void fail(const char* pattern, const std::string& path, const std::string& reason)
{
    throw CryptoError(text::formatMessage(pattern, {path}) + ": " + reason);
}

// Closes a descriptor at the end of its scope unless it was closed (and checked) already.
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
    // Closes now; false with errno set when the system reports a failure (of a delayed write, say).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes the new name itself durable. A file system that cannot sync a directory (EINVAL) keeps names
// its own way; that is no failure.
bool syncDirectoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Writes the key to the file just created as `fd` and makes it durable; false with errno set on failure.
bool fillKeyFile(Descriptor& fd, const std::string& path, const Key& key)
{
    // The mode given to open() is cut by the umask; owner read and write are needed whatever it is.
    return ::fchmod(fd.get(), S_IRUSR | S_IWUSR) == 0 && writeAll(fd.get(), keyFileText(key)) && ::fsync(fd.get()) == 0
        && fd.close() && syncDirectoryOf(path);
}

// The file's content, refused when it holds more than kMaxKeyFileSize bytes (it may have grown since its
// size was asked).
std::string readAtMost(const Descriptor& fd, const std::string& path)
{
    std::string text(kMaxKeyFileSize + 1, '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail(text::messages::kCannotReadFile, path, std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (done > kMaxKeyFileSize) {
        fail(text::messages::kCannotReadFile, path,
             "it is not a key file (it grew beyond " + std::to_string(kMaxKeyFileSize) + " bytes)");
    }
    text.resize(done);
    return text;
}

} // namespace

Key createKeyFile(const std::string& path)
{
    const std::string random = randomBytes(kKeySize);
    Key key {};
    std::memcpy(key.data(), random.data(), key.size());

    int raw = -1;
    do {
        // O_EXCL: never an existing file, nor one a symbolic link points to.
        raw = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, S_IRUSR | S_IWUSR);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0 && errno == EEXIST) {
        fail(text::messages::kCannotCreateFile, path,
             "a file of that name exists already, and a key is never replaced (pseudonyms made with it would no "
             "longer match)");
    }
    if (raw < 0) {
        fail(text::messages::kCannotCreateFile, path, std::strerror(errno));
    }
    Descriptor fd(raw);
    if (!fillKeyFile(fd, path, key)) {
        const int error = errno;
        // The file is ours (created above): a key that may be incomplete must not be used or block a retry.
        ::unlink(path.c_str());
        fail(text::messages::kCannotCreateFile, path, std::strerror(error));
    }
    return key;
}

KeyFileReading readKeyFile(const std::string& path)
{
    const char* pattern = text::messages::kCannotReadFile;
    int raw = -1;
    do {
        // Opening never waits (a named pipe would wait for a writer) and takes no terminal.
        raw = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0) {
        fail(pattern, path, std::strerror(errno));
    }
    Descriptor fd(raw);
    struct stat info
    { };
    if (::fstat(fd.get(), &info) != 0) {
        fail(pattern, path, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        fail(pattern, path, S_ISDIR(info.st_mode) ? "it is a directory, not a file" : "it is not a regular file");
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        fail(pattern, path,
             "others can write it, and whoever replaces the key can reverse the pseudonyms made with it (make it "
             "the owner's alone: chmod 600)");
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxKeyFileSize) {
        fail(pattern, path,
             "it is not a key file (" + std::to_string(info.st_size) + " bytes, a key file has at most "
                 + std::to_string(kMaxKeyFileSize) + ")");
    }
    const std::string text = readAtMost(fd, path);
    KeyFileReading reading;
    reading.key = parseKeyFileText(text, path);
    if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        reading.warning = "Key file " + path
            + " can be read by others: whoever reads it can link the pseudonyms to birth numbers (make it the "
              "owner's alone: chmod 600)";
    }
    return reading;
}

} // namespace crypto
