#include <cctype>

#include "platform/files.h"
#include "platform/win.h"

namespace lantrel {

namespace {

// One word as the C runtime splits a command line: quoted, with the
// backslashes before a quote (and before the closing quote) doubled.
std::string QuotedWord(const std::string& word) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// Escapes every character the command interpreter acts on, quotes included,
// so that it hands the words on as they are (the percent sign aside: see Start).
std::string EscapedForInterpreter(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (std::string_view("()%!^\"<>&|").find(c) != std::string_view::npos) escaped += '^';
        escaped += c;
    }
    return escaped;
}

// The value of the environment variable `name`, empty when it is not set.
std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD room = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (room == 0) return {};
    std::wstring value(room, L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), room));
    return value;
}

// Where the interpreter would find `program`: in `workDir` or on PATH, as it
// is or with one of the endings it runs. Empty when it is nowhere.
std::string ProgramPath(const std::string& program, const std::string& workDir) {
    const std::wstring searched =
        Wide(workDir.empty() ? "." : workDir) + L";" + EnvironmentValue(L"PATH");
    for (const char* ending : {"", ".exe", ".com", ".bat", ".cmd"}) {
        const std::wstring name = Wide(program + ending);
        const DWORD room =
            ::SearchPathW(searched.c_str(), name.c_str(), nullptr, 0, nullptr, nullptr);
        if (room == 0) continue;
        std::wstring full(room, L'\0');
        const DWORD length =
            ::SearchPathW(searched.c_str(), name.c_str(), nullptr, room, full.data(), nullptr);
        if (length == 0 || length >= room) continue;
        full.resize(length);
        if (FileExists(Narrow(full))) return Narrow(full);
    }
    return {};
}

bool IsBatchFile(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ending == ".bat" || ending == ".cmd";
}

// Why `words` cannot be handed to `programPath` as they are; empty when they can.
std::string RefusedWords(const std::string& programPath, const std::vector<std::string>& words) {
    for (const auto& word : words) {
        // The interpreter expands %NAME% whatever is done to escape it, and a
        // line break would end its command.
        if (word.find('%') != std::string::npos)
            return "the word '" + word + "' holds a percent sign, which cmd would expand";
        if (word.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return "a word holds a line break or a NUL, which would end cmd's command";
        // A batch file takes its words again as it runs its commands; a quote
        // inside one would end its quoting there, and the rest would be a command.
        if (IsBatchFile(programPath) && word.find('"') != std::string::npos)
            return "the word '" + word + "' holds a double quote, which the batch file " +
                   programPath + " would take for the end of the word";
    }
    return {};
}

// The child's standard input (NUL) and its output and error output (the
// output file, appended to), inheritable: the only handles it is given.
struct ChildHandles {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    ~ChildHandles() {
        for (HANDLE h : {input, output})
            if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};

// The list of handles a child may inherit, whatever else of ours is inheritable
// (the web listener's sockets, a mailer's files).
class InheritedHandles {
  public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        ready_ =
            ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                        handles_.size() * sizeof(HANDLE), nullptr, nullptr) != 0;
        if (!ready_) ::DeleteProcThreadAttributeList(list);
    }
    ~InheritedHandles() {
        if (ready_) ::DeleteProcThreadAttributeList(List());
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    // Null when the system could not make the list.
    LPPROC_THREAD_ATTRIBUTE_LIST List() {
        return ready_ ? reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()) : nullptr;
    }

  private:
    std::vector<HANDLE> handles_;  // the list points into it
    std::vector<unsigned char> storage_;
    bool ready_ = false;
};

}  // namespace

void KeepFromChildren(NativeHandle handle) {
    ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
}

std::string InterpreterCommandLine(const std::vector<std::string>& words) {
    std::string line = "/D /C ";
    for (const auto& word : words) {
        if (&word != &words.front()) line += ' ';
        line += EscapedForInterpreter(QuotedWord(word));
    }
    return line;
}

std::optional<ProcessId> ShellProcessStarter::Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& workDir,
                                                    const std::string& outputFile,
                                                    std::string& whyNot) {
    // The interpreter itself starts even when the program is missing; that is
    // found out here, so that it is reported as a start that failed.
    const std::string programPath = program.empty() ? "" : ProgramPath(program, workDir);
    if (programPath.empty()) {
        whyNot = "no program '" + program + "' in the working folder or on PATH";
        return std::nullopt;
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    whyNot = RefusedWords(programPath, words);
    if (!whyNot.empty()) return std::nullopt;
    std::wstring interpreter = EnvironmentValue(L"COMSPEC");
    if (interpreter.empty()) interpreter = L"cmd.exe";
    std::wstring commandLine =
        Wide(QuotedWord(Narrow(interpreter)) + " " + InterpreterCommandLine(words));

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    ChildHandles child;
    child.output = ::CreateFileW(Wide(ResolvePath(workDir, outputFile)).c_str(), FILE_APPEND_DATA,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (child.output == INVALID_HANDLE_VALUE) {
        whyNot = "cannot open " + outputFile + ": " + SystemMessage(::GetLastError());
        return std::nullopt;
    }
    child.input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);
    std::vector<HANDLE> handles{child.output};
    if (child.input != INVALID_HANDLE_VALUE) handles.push_back(child.input);
    InheritedHandles inheritable(std::move(handles));
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = child.input;
    startup.StartupInfo.hStdOutput = child.output;
    startup.StartupInfo.hStdError = child.output;
    startup.lpAttributeList = inheritable.List();
    const DWORD flags =
        CREATE_NO_WINDOW |
        (startup.lpAttributeList != nullptr ? EXTENDED_STARTUPINFO_PRESENT : DWORD{0});
    PROCESS_INFORMATION started{};
    const std::wstring folder = Wide(workDir);
    if (!::CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                          nullptr, workDir.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
                          &started)) {
        whyNot = SystemMessage(::GetLastError());
        return std::nullopt;
    }
    ::CloseHandle(started.hThread);
    return reinterpret_cast<ProcessId>(started.hProcess);
}

bool ShellProcessStarter::Ended(ProcessId process) {
    HANDLE handle = reinterpret_cast<HANDLE>(process);
    if (::WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) return false;
    // Ended, or no process of ours any more.
    ::CloseHandle(handle);
    return true;
}

}  // namespace lantrel
