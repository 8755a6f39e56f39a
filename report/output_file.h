#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// How an export or a protocol reaches its file. The output is written under a temporary name beside the
// file it becomes, put on the disk, and only then renamed to it: a failed or killed export never leaves a
// half-written file under the name asked for, and never destroys an older file of that name.
namespace report {

class OutputFile
{
public:
    // Checks that `path` may be written and creates its temporary file. An existing `path` must be a
    // regular file, or a symbolic link to one (the file it points to is replaced, the link stays); on
    // POSIX systems the replaced file's permissions pass to the new one (on Windows a new file has its
    // folder's). Temporary files that killed exports left beside it
    // are removed first. Throws ReportError "Cannot write file <path>: <reason>" for a path that names
    // anything else (a folder, a device, a pipe, a link to one of them or to nothing, a device name of
    // Windows such as NUL or COM1), and "Cannot create file <path>: <reason>".
    explicit OutputFile(std::string path);
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The path as given, for messages.
    const std::string& path() const { return m_path; }
    // The open temporary file.
    std::FILE* stream() const { return m_stream; }
    // Appends `bytes`. Throws ReportError "Cannot write file <path>: <reason>".
    void write(std::string_view bytes);
    // Flushes, puts the file on the disk and renames it to the output. Throws ReportError "Cannot write
    // file <path>: <reason>"; the output is then as it was.
    void commit();

private:
    std::string m_path;
    std::string m_target; // the file replaced: `m_path`, or the file its link points to
    std::string m_temporary;
    std::FILE* m_stream = nullptr;
    bool m_committed = false;
};

// The file that writing `path` replaces or creates: `path` itself, or the regular file its symbolic link
// points to. Throws ReportError "Cannot write file <path>: <reason>" when `path` may not be written (see
// OutputFile).
std::string outputTarget(const std::string& path);

} // namespace report
