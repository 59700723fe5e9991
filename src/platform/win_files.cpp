#include <algorithm>

#include "platform/files.h"
#include "platform/win.h"

namespace lantrel {

namespace {

// Every file is opened so that others may read, write, rename and delete it
// meanwhile: the GUI starts its log anew while the server holds it open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Rooted ("\x", "/x", "\\server\share") or with a drive ("C:").
bool IsAbsolute(const std::string& name) {
    return IsSeparator(name.front()) || (name.size() >= 2 && name[1] == ':');
}

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
    if (path.empty()) return INVALID_HANDLE_VALUE;
    return ::CreateFileW(Wide(path).c_str(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileResult ResultOf(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return kFileOk;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return kFileDenied;
        default:
            return kFileFailed;
    }
}

// Returns 0 or the error of the failed write.
DWORD WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return ::GetLastError();
        bytes.remove_prefix(written);
    }
    return ERROR_SUCCESS;
}

DWORD CloseChecked(HANDLE file, DWORD result) {
    if (!::CloseHandle(file) && result == ERROR_SUCCESS) result = ::GetLastError();
    return result;
}

// Reads from `file` to its end (or its first failure) and closes it.
std::string ReadToEndAndClose(HANDLE file) {
    std::string out;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
        out.append(buffer, n);
    ::CloseHandle(file);
    return out;
}

}  // namespace

std::string ResolvePath(const std::string& dir, const std::string& name) {
    if (dir.empty() || name.empty() || IsAbsolute(name)) return name;
    return IsSeparator(dir.back()) ? dir + name : dir + "\\" + name;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<FileStamp> StampOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    const FILETIME& t = data.ftLastWriteTime;
    return FileStamp{(static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                     (static_cast<std::int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime};
}

// Windows sets no limit on open sockets and files that a program could raise.
std::int64_t RaiseOpenFileLimit() {
    return 0;
}

FileResult CreateEmptyFile(const std::string& path) {
    if (path.empty()) return kFileFailed;
    HANDLE file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return ResultOf(::GetLastError());
    return ResultOf(CloseChecked(file, ERROR_SUCCESS));
}

FileResult AppendBytes(const std::string& path, std::string_view bytes) {
    if (path.empty()) return kFileFailed;
    // Append access alone: every write lands at the end, whoever else appends.
    HANDLE file = OpenFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return ResultOf(::GetLastError());
    return ResultOf(CloseChecked(file, WriteAll(file, bytes)));
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || FileExists(to)) return false;
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

namespace {

// The class of SetFileInformationByHandle for renaming with flags; mingw's
// headers offer it only for a version number Windows never reports.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Renames with the POSIX semantics of Windows 10: the name passes to the new
// file even while someone holds the old one open. False where the system (or
// its file system) does not offer them.
bool RenameOverOpenFile(const std::string& from, const std::string& to) {
    const std::wstring wideTo = Wide(to);
    const DWORD room = ::GetFullPathNameW(wideTo.c_str(), 0, nullptr, nullptr);
    if (room == 0) return false;
    std::wstring target(room, L'\0');
    const DWORD length = ::GetFullPathNameW(wideTo.c_str(), room, target.data(), nullptr);
    if (length == 0 || length >= room) return false;
    target.resize(length);
    // The call takes the system's own form of the name.
    const std::wstring name = L"\\??\\" + target;
    std::vector<unsigned char> info(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
    rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    name.copy(rename->FileName, name.size());
    HANDLE file = OpenFile(from, DELETE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL renamed = ::SetFileInformationByHandle(file, kFileRenameInfoEx, rename,
                                                static_cast<DWORD>(info.size()));
    ::CloseHandle(file);
    return renamed != 0;
}

}  // namespace

bool ReplaceFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    return RenameOverOpenFile(from, to) ||
           ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const std::string& path) {
    return !path.empty() && ::DeleteFileW(Wide(path).c_str()) != 0;
}

FolderListing ListFolder(const std::string& dir) {
    FolderListing listing;
    WIN32_FIND_DATAW entry;
    HANDLE search =
        ::FindFirstFileW(Wide(ResolvePath(dir.empty() ? "." : dir, "*")).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return listing;
    do {
        const std::string name = Narrow(entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            listing.files.push_back(name);
        } else if (name != "." && name != "..") {
            listing.folders.push_back(name);
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return listing;
}

std::optional<std::string> RealPath(const std::string& path) {
    // Opening follows every reparse point (a folder needs backup semantics to
    // be opened at all); the handle then tells the final name.
    HANDLE file = ::CreateFileW(Wide(path.empty() ? "." : path).c_str(), 0, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length < name.size()) break;
        name.resize(length + 1);  // too small: `length` is the size it needs
    }
    ::CloseHandle(file);
    if (length == 0) return std::nullopt;
    name.resize(length);
    // "\\?\C:\web" and "\\?\UNC\server\share" as one would write them.
    if (name.starts_with(L"\\\\?\\UNC\\")) return "\\" + Narrow(name.substr(7));
    if (name.starts_with(L"\\\\?\\")) return Narrow(name.substr(4));
    return Narrow(name);
}

bool PathWithin(const std::string& folder, const std::string& path) {
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || IsSeparator(folder.back()) ||
           IsSeparator(path[folder.size()]);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    return ReadToEndAndClose(file);
}

std::optional<std::string> ReadNamedFile(const std::string& path, std::string& whyNot) {
    DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        whyNot = "Is a directory";
        return std::nullopt;
    }
    HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        whyNot = SystemMessage(path.empty() ? ERROR_PATH_NOT_FOUND : ::GetLastError());
        return std::nullopt;
    }
    return ReadToEndAndClose(file);
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

namespace {

HANDLE AsHandle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

NativeHandle AsNative(HANDLE handle) {
    return reinterpret_cast<NativeHandle>(handle);
}

}  // namespace

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
    HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        // A missing log is created empty, so the GUI finds it in place.
        HANDLE created = OpenFile(path, GENERIC_WRITE, CREATE_NEW);
        created_ = created != INVALID_HANDLE_VALUE;
        if (created_) ::CloseHandle(created);
        file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        missing_ = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        openErrorText_ = SystemMessage(error);
        openError_ = ResultOf(error);
    } else {
        openError_ = kFileOk;
    }
    handle_ = AsNative(file);  // INVALID_HANDLE_VALUE is -1: not open
    return IsOpen();
}

void ReadOnlyFile::Close() {
    if (IsOpen()) ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

std::int64_t ReadOnlyFile::Length() const {
    LARGE_INTEGER size;
    if (!IsOpen() || !::GetFileSizeEx(AsHandle(handle_), &size)) return 0;
    return size.QuadPart;
}

FileIdentity ReadOnlyFile::Identity() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsOpen() || !::GetFileInformationByHandle(AsHandle(handle_), &info)) return {};
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::size_t ReadOnlyFile::ReadAt(std::int64_t offset, char* buffer, std::size_t count) const {
    if (!IsOpen()) return 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    // Reading at or past the end fails with ERROR_HANDLE_EOF: nothing read.
    if (!::ReadFile(AsHandle(handle_), buffer, chunk, &n, &at)) return 0;
    return n;
}

AppendFile::~AppendFile() {
    Close();
}

bool AppendFile::Open(const std::string& path, bool empty) {
    Close();
    HANDLE file = OpenFile(path, GENERIC_WRITE, empty ? CREATE_ALWAYS : OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) error_ = SystemMessage(::GetLastError());
    handle_ = AsNative(file);
    return handle_ >= 0;
}

bool AppendFile::Write(std::string_view bytes) {
    // The one writer: the end is where the last write or the emptying left it,
    // and where anyone else's growth of the file put it.
    LARGE_INTEGER end{};
    DWORD error = ::SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_END)
                      ? WriteAll(AsHandle(handle_), bytes)
                      : ::GetLastError();
    if (error != ERROR_SUCCESS) error_ = SystemMessage(error);
    return error == ERROR_SUCCESS;
}

bool AppendFile::Truncate() {
    LARGE_INTEGER start{};
    if (::SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN) &&
        ::SetEndOfFile(AsHandle(handle_)))
        return true;
    error_ = SystemMessage(::GetLastError());
    return false;
}

void AppendFile::Close() {
    if (handle_ >= 0) ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

}  // namespace lantrel
