#include "report/output_platform.h"

#include <cerrno>
#include <cstring>

namespace report::platform {

const char* const kPathSeparators = "/";

std::FILE* createNewFile(const std::string& path, std::string& reason)
{
    std::FILE* stream = std::fopen(path.c_str(), "wbx");
    if (!stream) {
        reason = std::strerror(errno);
    }
    return stream;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& reason)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void setBinaryMode(std::FILE*) { }

} // namespace report::platform
