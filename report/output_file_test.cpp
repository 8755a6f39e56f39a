#include "report/output_file.h"
#include "report/report_error.h"
#include "storage/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace report {
namespace {

using storage::testing::readAll;
using storage::testing::TempDir;
using storage::testing::writeAll;

class OutputFileTest : public ::testing::Test
{
protected:
    // Writes `content` to `path` as an export does.
    static void write(const std::string& path, const std::string& content)
    {
        OutputFile file(path);
        file.write(content);
        file.commit();
    }

    // The names in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> list;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(m_dir.dir()))) {
            list.push_back(entry.path().filename().u8string());
        }
        std::sort(list.begin(), list.end());
        return list;
    }

    TempDir m_dir;
};

TEST_F(OutputFileTest, ALongLegalNameWorks)
{
    // The temporary file's name must not grow with the output's, or a name near the system's limit fails.
    const std::string name = std::string(251, 'v') + ".csv";
    write(m_dir.path(name), "rows");
    EXPECT_EQ(readAll(m_dir.path(name)), "rows");
    EXPECT_EQ(names(), std::vector<std::string> {name});
}

TEST_F(OutputFileTest, KilledExportsLeftoversGoRunningExportsStay)
{
    // What an export killed before its rename leaves: a temporary file nobody holds.
    writeAll(m_dir.path(".tivora-report-0123456789abcdef.tmp"), "half an export");
    OutputFile running(m_dir.path("running.csv"));
    running.write("still being written");
    write(m_dir.path("other.csv"), "done");
    // The killed export's file is gone; the running one's is still there, and completes.
    ASSERT_EQ(names().size(), 2U);
    EXPECT_EQ(names()[1], "other.csv");
    EXPECT_NE(names()[0], ".tivora-report-0123456789abcdef.tmp");
    running.commit();
    EXPECT_EQ(names(), (std::vector<std::string> {"other.csv", "running.csv"}));
    EXPECT_EQ(readAll(m_dir.path("running.csv")), "still being written");
}

TEST_F(OutputFileTest, AnUncommittedFileLeavesTheOldOneAndNothingElse)
{
    writeAll(m_dir.path("out.csv"), "old");
    {
        OutputFile file(m_dir.path("out.csv"));
        file.write("new, but never finished");
    }
    EXPECT_EQ(readAll(m_dir.path("out.csv")), "old");
    EXPECT_EQ(names(), std::vector<std::string> {"out.csv"});
}

#ifndef _WIN32

mode_t modeOf(const std::string& path)
{
    struct stat info
    { };
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode;
}

TEST_F(OutputFileTest, AReplacedFileKeepsItsPermissionsAndALinkStaysALink)
{
    // An export holding names and birth numbers made readable for its owner only stays so.
    const std::string secret = m_dir.path("secret.csv");
    writeAll(secret, "old");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    write(secret, "new");
    EXPECT_EQ(readAll(secret), "new");
    EXPECT_EQ(modeOf(secret) & 07777, 0600U);
    // A link to a regular file is written through: the file it points to is replaced.
    const std::string link = m_dir.path("latest.csv");
    ASSERT_EQ(::symlink("secret.csv", link.c_str()), 0);
    write(link, "through the link");
    EXPECT_TRUE(S_ISLNK(modeOf(link)));
    EXPECT_EQ(readAll(secret), "through the link");
    EXPECT_EQ(modeOf(secret) & 07777, 0600U);
    // A new file has the permissions every new file of this process gets.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    write(m_dir.path("new.csv"), "x");
    EXPECT_EQ(modeOf(m_dir.path("new.csv")) & 07777, 0666U & ~mask);
}

#endif

} // namespace
} // namespace report
