#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace lantrel {

std::string ResolvePath(const std::string& dir, const std::string& name) {
    if (dir.empty() || name.empty() || name.front() == '/') return name;
    return dir + "/" + name;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{
        static_cast<std::int64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::int64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return 0;
    return static_cast<std::int64_t>(limit.rlim_cur);
}

namespace {

FileResult ResultOf(int err) {
    if (err == 0) return kFileOk;
    return (err == EACCES || err == EPERM) ? kFileDenied : kFileFailed;
}

// Returns 0 or the errno value of the failed write.
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

FileResult CreateEmptyFile(const std::string& path) {
    if (path.empty()) return kFileFailed;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ResultOf(errno);
    return ResultOf(CloseChecked(fd, 0));
}

FileResult AppendBytes(const std::string& path, std::string_view bytes) {
    int fd = OpenAppend(path);
    if (fd < 0) return path.empty() ? kFileFailed : ResultOf(errno);
    return ResultOf(CloseChecked(fd, WriteAll(fd, bytes)));
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || FileExists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

FolderListing ListFolder(const std::string& dir) {
    FolderListing listing;
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (folder == nullptr) return listing;
    while (const dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || ::stat(ResolvePath(dir, name).c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode)) listing.files.push_back(std::move(name));
        if (S_ISDIR(st.st_mode)) listing.folders.push_back(std::move(name));
    }
    ::closedir(folder);
    return listing;
}

namespace {

// Reads from `fd` to its end (or its first failure) and closes it.
std::string ReadToEndAndClose(int fd) {
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

}  // namespace

std::optional<std::string> RealPath(const std::string& path) {
    char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
    if (real == nullptr) return std::nullopt;
    std::string text = real;
    std::free(real);
    return text;
}

bool PathWithin(const std::string& folder, const std::string& path) {
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder.ends_with('/') || path[folder.size()] == '/';
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return ReadToEndAndClose(fd);
}

std::optional<std::string> ReadNamedFile(const std::string& path, std::string& whyNot) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        whyNot = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        whyNot = std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return std::nullopt;
    }
    return ReadToEndAndClose(fd);
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
    openError_ = kFileFailed;
    openErrorText_.clear();
    created_ = false;
    missing_ = path.empty();
    if (path.empty()) return false;
    // Non-blocking, so that a name standing for a pipe cannot stop the loop
    // waiting for a writer; for a regular file the flag changes nothing.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        // A missing log is created empty, so the GUI finds it in place.
        int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created_ = created >= 0;
        if (created >= 0) ::close(created);
        fd = ::open(path.c_str(), flags);
    }
    if (fd < 0) {
        missing_ = errno == ENOENT || errno == ENOTDIR;
        openErrorText_ = std::strerror(errno);
    }
    openError_ = fd < 0 ? ResultOf(errno) : kFileOk;
    handle_ = fd;
    return fd >= 0;
}

void ReadOnlyFile::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

std::int64_t ReadOnlyFile::Length() const {
    struct stat st {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

FileIdentity ReadOnlyFile::Identity() const {
    struct stat st {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, char* buffer, std::size_t count) const {
    if (handle_ < 0) return 0;
    for (;;) {
        ssize_t n = ::pread(static_cast<int>(handle_), buffer, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? 0 : static_cast<std::size_t>(n);
    }
}

AppendFile::~AppendFile() {
    Close();
}

bool AppendFile::Open(const std::string& path, bool empty) {
    Close();
    // Appending writes land at the end even after the file was emptied.
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (empty ? O_TRUNC : 0);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) error_ = std::strerror(errno);
    handle_ = fd;
    return fd >= 0;
}

bool AppendFile::Write(std::string_view bytes) {
    int err = WriteAll(static_cast<int>(handle_), bytes);
    if (err != 0) error_ = std::strerror(err);
    return err == 0;
}

bool AppendFile::Truncate() {
    if (::ftruncate(static_cast<int>(handle_), 0) == 0) return true;
    error_ = std::strerror(errno);
    return false;
}

void AppendFile::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace lantrel
