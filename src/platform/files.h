// File operations: each opens, does one thing and closes again, so that other
// programs (the GUI, the operator's editor) may use the same files between calls.
// Failures are reported by return value only; callers decide what to do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

// `name` resolved against `dir` unless it is absolute or `dir` is empty.
std::string ResolvePath(const std::string& dir, const std::string& name);

bool FileExists(const std::string& path);
// Length in bytes, or nullopt when the file cannot be opened.
std::optional<std::int64_t> FileLength(const std::string& path);
// Creates the file empty (an existing one is emptied). Returns 0 or an errno value.
int CreateEmptyFile(const std::string& path);
// Appends `text` followed by CR LF. Returns 0 or an errno value.
int AppendLine(const std::string& path, std::string_view text);
// Appends several lines in one opening. Returns 0 or an errno value.
int AppendLines(const std::string& path, const std::vector<std::string>& lines);
// Appends raw bytes.
int AppendBytes(const std::string& path, std::string_view bytes);
bool RenameFile(const std::string& from, const std::string& to);
// Reads the whole file; nullopt when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Reads the file's lines (LF ends a line, a CR before it is dropped).
std::optional<std::vector<std::string>> ReadLines(const std::string& path);

// Which file a name stood for when it was opened: a file removed and written
// anew under the same name has another identity, even when it is no shorter.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;  // 0: not known yet
    bool operator==(const FileIdentity&) const = default;
};

// A file opened for reading at positions, kept open by the caller for one pass.
class ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens `path`, creating it empty when missing. False when that fails.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    std::int64_t Length() const;
    FileIdentity Identity() const;
    // Reads up to `count` bytes at 0-based `offset`; returns the bytes read.
    std::size_t ReadAt(std::int64_t offset, char* buffer, std::size_t count) const;

  private:
    int fd_ = -1;
};

}  // namespace lantrel
