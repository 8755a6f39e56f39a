#include "base/error.h"
#include "base/file.h"

namespace base {

void appendWhole(File& file, const std::string& header, const std::string& bytes)
{
    FileLock lock(file);
    const std::uint64_t end = file.size();
    const std::string written = end == 0 ? header + bytes : bytes;
    try {
        file.writeAt(end, written.data(), written.size());
        file.sync();
    } catch (const FileError&) {
        try {
            file.truncate(end);
        } catch (const FileError&) {
            // The first failure is the one to report.
        }
        throw;
    }
}

} // namespace base
