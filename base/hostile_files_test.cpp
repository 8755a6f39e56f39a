#include "base/hostile_files_test.h"

#include <exception>
#include <stdexcept>

#ifndef _WIN32
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace base::testing {

namespace {

std::string messageOf(const std::function<void()>& attempt)
{
    try {
        attempt();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

#ifndef _WIN32
std::string pipeAt(const std::filesystem::path& path)
{
    if (::mkfifo(path.c_str(), 0666) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    return path.string();
}

std::string socketAt(const std::filesystem::path& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    // The socket file stays when the socket is closed.
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (!bound) {
        throw std::runtime_error("cannot make a socket");
    }
    return path.string();
}

std::string linkAt(const std::filesystem::path& path, const std::filesystem::path& target)
{
    std::filesystem::create_symlink(target, path);
    return path.string();
}
#endif

} // namespace

std::vector<HostileFile> hostileFiles()
{
    const char* kFolder = "it is a folder, not a file";
    const char* kDevice = "it is a device, not a file";
    using Folder = const std::filesystem::path&;
    std::vector<HostileFile> files {
        {"folder",
         [](Folder folder) {
             std::filesystem::create_directory(folder / "x");
             return (folder / "x").string();
         },
         kFolder},
    };
#ifdef _WIN32
    // The name alone makes a device of it, in any folder, with any extension.
    files.push_back({"NUL", [](Folder) { return std::string("NUL"); }, kDevice});
    files.push_back({"con with an extension", [](Folder folder) { return (folder / "con.rtf").string(); }, kDevice});
    files.push_back({"COM1 with a space", [](Folder folder) { return (folder / "Com1 .txt").string(); }, kDevice});
    files.push_back({"device namespace", [](Folder) { return std::string("\\\\.\\NUL"); }, kDevice});
#else
    const char* kPipe = "it is a pipe, not a file";
    files.push_back({"pipe", [](Folder folder) { return pipeAt(folder / "x"); }, kPipe});
    files.push_back({"link to a pipe",
                     [](Folder folder) {
                         pipeAt(folder / "pipe");
                         return linkAt(folder / "x", folder / "pipe");
                     },
                     kPipe});
    files.push_back({"device", [](Folder) { return std::string("/dev/zero"); }, kDevice, false, true});
    files.push_back(
        {"link to a device", [](Folder folder) { return linkAt(folder / "x", "/dev/zero"); }, kDevice, false, true});
    files.push_back({"socket", [](Folder folder) { return socketAt(folder / "x"); }, "it is not an ordinary file"});
    files.push_back({"unreadable file",
                     [](Folder folder) {
                         const std::filesystem::path path = folder / "x";
                         const int fd = ::creat(path.c_str(), 0);
                         ::close(fd);
                         return path.string();
                     },
                     "Permission denied", true});
#endif
    return files;
}

std::string failureOf(const std::function<void()>& attempt, bool unprivileged)
{
#ifndef _WIN32
    if (unprivileged && ::geteuid() == 0) {
        int channel[2];
        if (::pipe(channel) != 0) {
            throw std::runtime_error("cannot make a pipe");
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(channel[0]);
            constexpr uid_t kNobody = 65534;
            if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(2);
            }
            const std::string message = messageOf(attempt);
            const bool sent
                = ::write(channel[1], message.data(), message.size()) == static_cast<ssize_t>(message.size());
            ::_exit(sent ? 0 : 1);
        }
        ::close(channel[1]);
        std::string message;
        char buffer[4096];
        for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
            message.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw std::runtime_error("the attempt as user nobody failed to run");
        }
        return message;
    }
#else
    (void)unprivileged;
#endif
    return messageOf(attempt);
}

} // namespace base::testing
