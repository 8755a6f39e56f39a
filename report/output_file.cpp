#include "report/output_file.h"

#include "report/output_platform.h"
#include "report/report_error.h"

#include <cerrno>
#include <cstring>

namespace report {

namespace {

// The folder part of `path` with its separator, empty for a bare name.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

std::string outputTarget(const std::string& path)
{
    std::string reason;
    const std::optional<platform::OutputTarget> target = platform::outputTarget(path, reason);
    if (!target) {
        throw fileError(text::messages::kCannotWriteFile, path, reason);
    }
    return target->path;
}

OutputFile::OutputFile(std::string path)
    : m_path(std::move(path))
{
    std::string reason;
    const std::optional<platform::OutputTarget> target = platform::outputTarget(m_path, reason);
    if (!target) {
        throw fileError(text::messages::kCannotWriteFile, m_path, reason);
    }
    m_target = target->path;
    const std::string folder = folderOf(m_target);
    platform::removeStaleTemporaries(folder);
    m_stream = platform::createTemporary(folder, target->exists ? m_target : std::string(), m_temporary, reason);
    if (!m_stream) {
        throw fileError(text::messages::kCannotCreateFile, m_path, reason);
    }
}

OutputFile::~OutputFile()
{
    if (!m_committed && m_stream) {
        platform::dropTemporary(m_stream, m_temporary);
    }
}

void OutputFile::write(std::string_view bytes)
{
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_stream) != bytes.size()) {
        throw fileError(text::messages::kCannotWriteFile, m_path, std::strerror(errno));
    }
}

void OutputFile::commit()
{
    std::string reason;
    if (!platform::commitTemporary(m_stream, m_temporary, m_target, reason)) {
        m_stream = nullptr; // closed and removed
        throw fileError(text::messages::kCannotWriteFile, m_path, reason);
    }
    m_stream = nullptr;
    m_committed = true;
}

} // namespace report
