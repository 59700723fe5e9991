// File operations: each opens, does one thing and closes again, so that other
// programs (the GUI, the operator's editor) may use the same files between calls.
// Failures are reported by return value only; callers decide what to do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace lantrel {

// How a file operation ended, in the terms the program tells apart.
enum FileResult : int {
    kFileOk = 0,
    kFileDenied,  // no permission
    kFileFailed,  // anything else: missing folder, full disk, ...
};

// `name` resolved against `dir` unless it is absolute or `dir` is empty.
std::string ResolvePath(const std::string& dir, const std::string& name);

bool FileExists(const std::string& path);
// What tells one version of a file from the next without reading it.
struct FileStamp {
    std::int64_t length = 0;
    std::int64_t modified = 0;  // in the system's own units
    bool operator==(const FileStamp&) const = default;
};
// The file's stamp, or nullopt when there is no such file.
std::optional<FileStamp> StampOf(const std::string& path);
// Raises the process's limit on open files (sockets included) as far as the
// system lets it, and returns the limit now; 0 where the system sets none.
std::int64_t RaiseOpenFileLimit();
// Creates the file empty (an existing one is emptied).
FileResult CreateEmptyFile(const std::string& path);
// Appends `text` followed by CR LF.
FileResult AppendLine(const std::string& path, std::string_view text);
// Appends several lines in one opening.
FileResult AppendLines(const std::string& path, const std::vector<std::string>& lines);

// A journal such as server.log: every line is written with its line end by
// one open-append-close, so the file is complete on disk at all times. A line
// that cannot be written is lost silently; the program goes on. A write that
// failed may have left part of its line (a full disk): the next line starts
// on a line of its own.
struct Journal {
    std::string path;
    void Write(std::string_view line) const { WriteBlock({std::string(line)}); }
    void WriteBlock(const std::vector<std::string>& lines) const;
    mutable bool lastWriteFailed = false;  // what the next write must start a line after
};
// Appends raw bytes.
FileResult AppendBytes(const std::string& path, std::string_view bytes);
// Renames `from` to `to`; false when `to` exists already.
bool RenameFile(const std::string& from, const std::string& to);
// Renames `from` to `to`, replacing `to` in one step: a reader opens the old
// file or the new one, never a part-written one.
bool ReplaceFile(const std::string& from, const std::string& to);
// Removes the file; false when it could not be removed (or was not there).
bool RemoveFile(const std::string& path);
// What a folder holds: the names of its plain files and of its folders ("." and
// ".." left out), in no particular order.
struct FolderListing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};
// The folder `dir` (empty = the current one); empty when it cannot be read.
FolderListing ListFolder(const std::string& dir);
// The path of a file or folder with every link (on Windows every junction and
// other reparse point too), "." and ".." resolved: the one name the system
// knows it by. nullopt when there is none (no such file, a loop of links).
std::optional<std::string> RealPath(const std::string& path);
// True when the real path `path` names the real folder `folder` or lies below it.
bool PathWithin(const std::string& folder, const std::string& path);
// Reads the whole file; nullopt when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Reads the file's lines (LF ends a line, a CR before it is dropped).
std::optional<std::vector<std::string>> ReadLines(const std::string& path);
// Reads the whole of a file a program was asked to read; nullopt with the
// system's reason in `whyNot` when it cannot be opened or is a folder.
std::optional<std::string> ReadNamedFile(const std::string& path, std::string& whyNot);

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

    // Opens `path`, creating it empty when missing. False when that fails, with
    // the reason in OpenError() and the system's words for it in OpenErrorText().
    bool Open(const std::string& path);
    FileResult OpenError() const { return openError_; }
    const std::string& OpenErrorText() const { return openErrorText_; }
    // True when the last Open failed because no file has that name and none
    // could be made there (a missing folder). Any other failure (no file handles
    // left, a sharing violation, a network share that does not answer) is
    // passing: the file is still there.
    bool Missing() const { return missing_; }
    // True when the last Open found no file and made it: a new file, even where
    // the system hands the removed one's identity on to it.
    bool Created() const { return created_; }
    void Close();
    bool IsOpen() const { return handle_ >= 0; }
    std::int64_t Length() const;
    FileIdentity Identity() const;
    // Reads up to `count` bytes at 0-based `offset`; returns the bytes read.
    std::size_t ReadAt(std::int64_t offset, char* buffer, std::size_t count) const;

  private:
    NativeHandle handle_ = -1;
    FileResult openError_ = kFileOk;
    std::string openErrorText_;
    bool created_ = false;
    bool missing_ = false;
};

// A file one writer appends to and may empty again (a log being played into).
class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` for appending, creating it; `empty` empties it first.
    bool Open(const std::string& path, bool empty);
    bool Write(std::string_view bytes);
    // Empties the file; what is written next lands at its start.
    bool Truncate();
    void Close();
    // The system's reason for the last failure.
    const std::string& error() const { return error_; }

  private:
    NativeHandle handle_ = -1;
    std::string error_;
};

}  // namespace lantrel
