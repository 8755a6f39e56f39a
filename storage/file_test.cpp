#include "base/file.h"
#include "storage/dbf_table.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace storage {
namespace {

// Something under a table's or a record's name that is not a regular file, and the reason it is refused
// with. `make` puts it into the folder and returns its path.
struct NotAFile
{
    const char* name;
    std::function<std::string(const testing::TempDir& dir)> make;
    const char* reason;
};

std::ostream& operator<<(std::ostream& out, const NotAFile& file)
{
    return out << file.name;
}

template<typename Call>
std::string failureOf(Call call)
{
    try {
        call();
    } catch (const FileError& error) {
        return error.what();
    }
    return "no FileError";
}

class NotAFileTest : public ::testing::TestWithParam<NotAFile>
{
protected:
    testing::TempDir m_dir;
};

// Refused at once (a named pipe would otherwise keep the open waiting for ever), by every way a file is
// opened, with the name and the reason; the table engine passes the refusal on.
TEST_P(NotAFileTest, IsRefusedAtOnceWithItsReason)
{
    const std::string path = GetParam().make(m_dir);
    const std::string reason = std::string(": ") + GetParam().reason;
    EXPECT_EQ(failureOf([&] { base::openFile(path, base::OpenMode::ReadOnly); }), "Cannot open file " + path + reason);
    EXPECT_EQ(failureOf([&] { base::openFile(path, base::OpenMode::ReadWrite); }), "Cannot open file " + path + reason);
    EXPECT_EQ(failureOf([&] { base::openOrCreateFile(path); }), "Cannot create file " + path + reason);
    // (Where the system does not see a device name as an existing file, the engine tries to create the
    // table there, and that is refused the same way.)
    const std::string table
        = failureOf([&] { OpenTableFile(path, OpenMode::ReadWrite, IfMissing::Create, testing::smallSchema()); });
    EXPECT_TRUE(table == "Cannot open file " + path + reason || table == "Cannot create file " + path + reason)
        << table;
}

#ifndef _WIN32
std::string makeDirectory(const testing::TempDir& dir)
{
    std::filesystem::create_directory(dir.path("tivora4.DBF"));
    return dir.path("tivora4.DBF");
}

std::string makeNamedPipe(const testing::TempDir& dir)
{
    const std::string path = dir.path("tivora4.DBF");
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo failed");
    }
    return path;
}

std::string makeSocket(const testing::TempDir& dir)
{
    const std::string path = dir.path("tivora4.DBF");
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd); // the name stays until it is removed
    }
    if (!bound) {
        throw std::runtime_error("bind failed");
    }
    return path;
}

std::string linkToNullDevice(const testing::TempDir& dir)
{
    std::filesystem::create_symlink("/dev/null", dir.path("tivora4.DBF"));
    return dir.path("tivora4.DBF");
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotAFileTest,
                         ::testing::Values(NotAFile {"Directory", makeDirectory, "it is a directory, not a file"},
                                           NotAFile {"NamedPipe", makeNamedPipe, "it is a named pipe, not a file"},
                                           NotAFile {"Socket", makeSocket, "it is a socket, not a file"},
                                           NotAFile {"NullDevice", [](const auto&) { return std::string("/dev/null"); },
                                                     "it is a device, not a file"},
                                           NotAFile {"LinkToTheNullDevice", linkToNullDevice,
                                                     "it is a device, not a file"}),
                         testing::CaseName());

// A file the system refuses to open is named with the system's reason. (Permission bits do not stop the
// administrator, under whom the tests may run; these refusals stop everyone.)
TEST(FileTest, SystemRefusalsNameTheSystemsReason)
{
    testing::TempDir dir;
    const std::string loop = dir.path("loop");
    std::filesystem::create_symlink(loop, loop);
    EXPECT_EQ(failureOf([&] { base::openFile(loop, base::OpenMode::ReadWrite); }),
              "Cannot open file " + loop + ": Too many levels of symbolic links");
    testing::writeAll(dir.path("plain"), "x");
    const std::string below = dir.path("plain") + "/tivora4_timing.csv";
    EXPECT_EQ(failureOf([&] { base::openOrCreateFile(below); }), "Cannot create file " + below + ": Not a directory");
    EXPECT_EQ(failureOf([&] { base::createFileExclusive(below); }),
              "Cannot create file " + below + ": Not a directory");
}
#else
std::string makeDirectory(const testing::TempDir& dir)
{
    std::filesystem::create_directory(std::filesystem::u8path(dir.path("tivora4.DBF")));
    return dir.path("tivora4.DBF");
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotAFileTest,
                         ::testing::Values(NotAFile {"Directory", makeDirectory, "it is a directory, not a file"},
                                           NotAFile {"NulDevice", [](const auto& dir) { return dir.path("NUL"); },
                                                     "it is a device, not a file"},
                                           NotAFile {"ConsoleWithAnExtension",
                                                     [](const auto& dir) { return dir.path("con.dbf"); },
                                                     "it is a device, not a file"},
                                           NotAFile {"SerialPort", [](const auto&) { return std::string("COM1"); },
                                                     "it is a device, not a file"}),
                         testing::CaseName());

// A file the system refuses to open is named with the system's text and number.
TEST(FileTest, SystemRefusalsNameTheSystemsReason)
{
    testing::TempDir dir;
    const std::string path = dir.path("tivora4.DBF");
    testing::writeAll(path, "x");
    // Held by another program that shares it with nobody.
    HANDLE held = CreateFileW(std::filesystem::u8path(path).wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::string message = failureOf([&] { base::openFile(path, base::OpenMode::ReadWrite); });
    CloseHandle(held);
    const std::string start = "Cannot open file " + path + ": ";
    const std::string end = " (system error 32)";
    ASSERT_GT(message.size(), start.size() + end.size()) << message;
    EXPECT_EQ(message.substr(0, start.size()), start);
    EXPECT_EQ(message.substr(message.size() - end.size()), end);
}
#endif

} // namespace
} // namespace storage
