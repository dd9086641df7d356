#include "cli/Console.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace lut::cli {

#ifdef _WIN32

Console::Console() {
    if (_isatty(_fileno(stdout)) == 0) {
        return;  // a file or a pipe takes the UTF-8 bytes as they are
    }
    previousCodePage_ = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    DWORD mode = 0;
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!GetConsoleMode(output, &mode)) {
        return;
    }
    previousMode_ = mode;
    // Consoles older than Windows 10 know no escape sequences: they get one line per stage instead.
    terminal_ = SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

Console::~Console() {
    std::fflush(stdout);  // what is still buffered is UTF-8 too
    if (terminal_) {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), previousMode_);
    }
    if (previousCodePage_ != 0) {
        SetConsoleOutputCP(previousCodePage_);
    }
}

#else

Console::Console() : terminal_(isatty(STDOUT_FILENO) == 1) {}

Console::~Console() = default;

#endif

}  // namespace lut::cli
