#include "platform/Console.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/FilesDetail.h"
#else
#include <unistd.h>
#endif

namespace vantor::platform {

#ifdef _WIN32

namespace {
UINT gConsoleOutputCp = 0;
void RestoreConsoleCp() { ::SetConsoleOutputCP(gConsoleOutputCp); }

HANDLE StreamHandle(int stream) {
    return ::GetStdHandle(stream == 0 ? STD_INPUT_HANDLE : stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(detail::Utf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

void UseExactStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (IsTerminal(1) || IsTerminal(2)) {
        // The console keeps its code page after the program ends: it gets
        // its own back.
        gConsoleOutputCp = ::GetConsoleOutputCP();
        if (gConsoleOutputCp != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsoleCp);
        HANDLE err = StreamHandle(2);
        DWORD mode = 0;
        if (::GetConsoleMode(err, &mode)) ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

bool IsTerminal(int stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

#else

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseExactStandardStreams() {}

bool IsTerminal(int stream) { return ::isatty(stream) != 0; }

#endif

}  // namespace vantor::platform
