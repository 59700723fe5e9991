#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace lantrel {

std::string ResolvePath(const std::string& dir, const std::string& name) {
    if (dir.empty() || name.empty() || name.front() == '/') return name;
    return dir + "/" + name;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::int64_t> FileLength(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

namespace {

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int OpenAppend(const std::string& path) {
    if (path.empty()) return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int CloseChecked(int fd, int result) {
    if (::close(fd) != 0 && result == 0) result = errno;
    return result;
}

}  // namespace

int CreateEmptyFile(const std::string& path) {
    if (path.empty()) return ENOENT;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    return CloseChecked(fd, 0);
}

int AppendBytes(const std::string& path, std::string_view bytes) {
    int fd = OpenAppend(path);
    if (fd < 0) return path.empty() ? ENOENT : errno;
    return CloseChecked(fd, WriteAll(fd, bytes));
}

int AppendLine(const std::string& path, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    return AppendBytes(path, line);
}

int AppendLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string block;
    for (const auto& line : lines) {
        block += line;
        block += "\r\n";
    }
    return AppendBytes(path, block);
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || FileExists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
    auto content = ReadWholeFile(path);
    if (!content) return std::nullopt;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content->size()) {
        std::size_t end = content->find('\n', start);
        if (end == std::string::npos) end = content->size();
        std::string line = content->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

ReadOnlyFile::~ReadOnlyFile() {
    Close();
}

bool ReadOnlyFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return false;
    // Non-blocking, so that a name standing for a pipe cannot stop the loop
    // waiting for a writer; for a regular file the flag changes nothing.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    fd_ = ::open(path.c_str(), flags);
    if (fd_ < 0 && errno == ENOENT) {
        // A missing log is created empty, so the GUI finds it in place.
        int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (created >= 0) ::close(created);
        fd_ = ::open(path.c_str(), flags);
    }
    return fd_ >= 0;
}

void ReadOnlyFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::int64_t ReadOnlyFile::Length() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

FileIdentity ReadOnlyFile::Identity() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, char* buffer, std::size_t count) const {
    if (fd_ < 0) return 0;
    for (;;) {
        ssize_t n = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? 0 : static_cast<std::size_t>(n);
    }
}

}  // namespace lantrel
