#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The operating system's files, behind one small interface so that no other code has platform
// conditionals and tests can put a failing file under it. file_posix.cpp and file_win.cpp implement it;
// every layer's files go through it (user_file.h for the examiner's own files is built on the same pair of
// platform files' helpers).
namespace base {

enum class OpenMode { ReadOnly, ReadWrite };

// An open file addressed by byte offset. Every call either does all it was asked or throws FileError
// with a message "<what> <path>: <reason>"; a short write is a failure, never a partial success.
// Not copyable; closes the handle on destruction.
class File
{
public:
    virtual ~File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Reads up to `size` bytes at `offset` into `data`. Returns the number read, which is smaller than
    // `size` only at the end of the file.
    virtual std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) = 0;
    // Writes all `size` bytes at `offset`, growing the file if needed.
    virtual void writeAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
    // Current size in bytes, asked of the system each time (other processes may have grown it).
    virtual std::uint64_t size() = 0;
    // Sets the size to `size` bytes.
    virtual void truncate(std::uint64_t size) = 0;
    // Returns once the data written so far is on the storage device.
    virtual void sync() = 0;
    // Takes the file's exclusive append lock, waiting for other processes to release theirs. It excludes
    // only other holders of the lock: reads and writes by other processes go on meanwhile (on Windows,
    // where byte-range locks are mandatory, it is held on a byte beyond any possible end of file). Locks
    // do not nest; every lock() is paired with one unlock().
    virtual void lock() = 0;
    virtual void unlock() = 0;

    const std::string& path() const { return m_path; }

protected:
    explicit File(std::string path)
        : m_path(std::move(path))
    { }

private:
    std::string m_path;
};

// Holds the exclusive lock of a file for one scope.
class FileLock
{
public:
    explicit FileLock(File& file)
        : m_file(file)
    {
        m_file.lock();
    }
    ~FileLock()
    {
        try {
            m_file.unlock();
        } catch (...) {
            // Closing the file releases the lock at the latest; nothing better can be done here.
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    File& m_file;
};

// Appends `bytes` at the end of `file` under its lock, `header` first when the file is empty, and syncs;
// on a failure the file is cut back to its old end (no half line for a reader or the next append) and
// the FileError is thrown.
void appendWhole(File& file, const std::string& header, const std::string& bytes);

// Opens an existing file shared with other readers and writers (other processes may open, read and
// write it meanwhile). Returns nullptr when the file does not exist; throws FileError
// "Cannot open file <path>" for any other failure.
std::unique_ptr<File> openFile(const std::string& path, OpenMode mode);

// Opens `path` for reading and writing, creating it (empty) when it does not exist; an existing file
// keeps its contents. Throws FileError "Cannot create file <path>".
std::unique_ptr<File> openOrCreateFile(const std::string& path);

// Creates `path` only if no file of that name exists, atomically with respect to other processes.
// Returns nullptr when it exists already; throws FileError "Cannot create file <path>".
std::unique_ptr<File> createFileExclusive(const std::string& path);

enum class PublishResult { Published, TargetExists, Unsupported };

// Gives the complete file `from` the name `to` without ever replacing a file named `to`. On
// Published, `from` no longer exists. TargetExists and Unsupported (the file system cannot do it)
// leave `from` in place. Throws FileError for other failures.
PublishResult publishFile(const std::string& from, const std::string& to);

// Removes a file; failures are ignored (used to clean up temporary files).
void removeFileQuietly(const std::string& path) noexcept;

// True when something exists under `path`.
bool fileExists(const std::string& path);

// A text that is equal for two paths exactly when the file system takes them for the same file
// (device and inode, or volume and file index); nullopt when the file does not exist.
std::optional<std::string> fileIdentity(const std::string& path);

// The platform's separator of path components.
char pathSeparator();

// True for a path that does not depend on the current or the program directory.
bool isAbsolutePath(const std::string& path);

// Directory holding the running program file, ending with the separator.
std::string programDirectory();

#ifdef _WIN32
// The one conversion of paths between UTF-8 (the program's) and UTF-16 (Windows' wide functions). Malformed
// input on either side becomes U+FFFD.
std::wstring widePath(const std::string& utf8);
std::string utf8Path(const std::wstring& utf16);

// True when `path` names one of the devices Windows has in every folder, whatever the case, with any
// extension and blanks before it ("NUL", "con.txt", "dir\COM1 .rtf", "CLOCK$", COM and LPT 1 to 9, also
// with the superscript digits), or lies in the device namespace ("\\.\pipe\x").
bool namesDevice(const std::string& path);
#endif

} // namespace base
