// tolvane: the editor's commands without the window, for scripts and batches.
#include "command_line.h"
#include "commands.h"
#include "text_out.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

// Parse, then run. A report that never reached its reader (a full disk, a
// closed pipe) is a failure too, not a silent success.
int runCommandLine(const std::vector<std::string>& words) {
    std::optional<Invocation> invocation;
    try {
        invocation = parseCommandLine(words);
    } catch (const UsageError& wrong) {
        const std::string help = wrong.command().empty() ? "--help" : wrong.command() + " --help";
        standardError << "tolvane: " << wrong.what() << "\nTry 'tolvane " << help << "'.\n";
    }
    const Outcome outcome = invocation ? run(*invocation) : Outcome{kUsage, ""};
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return outcome.status;
    const int error = standardOutput.firstError() ? standardOutput.firstError() : errno;
    standardError << "tolvane: cannot write to standard output: " << std::strerror(error ? error : EIO)
                  << (outcome.written.empty() ? "" : "; " + outcome.written + " all the same") << '\n';
    return kFailed;
}

}  // namespace
}  // namespace tolvane

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shellapi.h>

namespace {

// The console's output code page before tolvane set UTF-8: the console outlives
// tolvane, and the programs run in it after read their output in that page.
UINT consoleCodePage = 0;

void restoreConsoleCodePage() {
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

// Ctrl+C, Ctrl+Break or the console closing end tolvane without returning from
// main(): put the code page back, then let Windows end it as it would have.
BOOL WINAPI onConsoleEnd(DWORD) {
    restoreConsoleCodePage();
    return FALSE;
}

}  // namespace

// Windows gives main() its arguments in the ANSI code page, which cannot hold
// every file name: take the wide command line and speak UTF-8 on the console.
int main() {
    consoleCodePage = GetConsoleOutputCP();  // 0 without a console: nothing to set
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8) {
        SetConsoleCtrlHandler(onConsoleEnd, TRUE);
        SetConsoleOutputCP(CP_UTF8);
    }
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string word(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word.data(), size, nullptr, nullptr);
        words.push_back(word);
    }
    LocalFree(wide);
    const int status = tolvane::runCommandLine(words);  // standard output flushed
    std::fflush(stderr);
    restoreConsoleCodePage();
    return status;
}
#else
#include <csignal>

int main(int argc, char* argv[]) {
    // A reader that goes away (| head, a closed terminal) is an output failure
    // that run() reports, saying what was written, rather than a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    return tolvane::runCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
