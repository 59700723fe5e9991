#include <cstdlib>

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

// True when the interpreter would find `program` in `workDir` or on PATH, as it
// is or with one of the endings it runs.
bool ProgramFound(const std::string& program, const std::string& workDir) {
    const char* path = std::getenv("PATH");
    std::string searched = (workDir.empty() ? "." : workDir) + ";" + (path ? path : "");
    char full[MAX_PATH];
    for (const char* ending : {"", ".exe", ".com", ".bat", ".cmd"}) {
        DWORD n = ::SearchPathA(searched.c_str(), (program + ending).c_str(), nullptr, MAX_PATH,
                                full, nullptr);
        if (n > 0 && n < MAX_PATH && FileExists(full)) return true;
    }
    return false;
}

}  // namespace

std::string InterpreterCommandLine(const std::vector<std::string>& words) {
    std::string line = "/C ";
    for (const auto& word : words) {
        if (&word != &words.front()) line += ' ';
        line += EscapedForInterpreter(QuotedWord(word));
    }
    return line;
}

std::optional<ProcessId> ShellProcessStarter::Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& workDir,
                                                    const std::string& outputFile) {
    // The interpreter itself starts even when the program is missing; that is
    // found out here, so that it is reported as a start that failed.
    if (program.empty() || !ProgramFound(program, workDir)) return std::nullopt;
    // The interpreter expands %NAME% whatever is done to escape it, and a line
    // break would end its command: a word with either cannot be passed on as it is.
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    for (const auto& word : words)
        if (word.find_first_of(std::string_view("%\r\n\0", 4)) != std::string::npos)
            return std::nullopt;
    const char* comspec = std::getenv("COMSPEC");
    std::string interpreter = comspec ? comspec : "cmd.exe";
    std::string commandLine = QuotedWord(interpreter) + " " + InterpreterCommandLine(words);

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = ::CreateFileA(ResolvePath(workDir, outputFile).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  &inherited, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return std::nullopt;
    HANDLE input = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION started{};
    BOOL ok = ::CreateProcessA(interpreter.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                               CREATE_NO_WINDOW, nullptr,
                               workDir.empty() ? nullptr : workDir.c_str(), &startup, &started);
    ::CloseHandle(output);
    if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
    if (!ok) return std::nullopt;
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
