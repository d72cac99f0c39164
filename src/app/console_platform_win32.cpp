#include "app/console_platform.h"

#include <windows.h>

#include <shellapi.h>

#include "library/utf8_path.h"

namespace vetra::app {
namespace {

std::atomic<bool>* g_stop = nullptr;
HANDLE g_finished = nullptr;

// Windows allows a close 5 s and a logoff or shutdown somewhat more before it ends the
// process; the shut-down saves a few small files.
constexpr DWORD kShutDownWaitMs = 4500;

BOOL WINAPI on_console_event(DWORD event) {
    g_stop->store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(g_finished, kShutDownWaitMs);
    }
    return TRUE;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(library::utf8_from_path(std::filesystem::path(wide[i])));
    }
    ::LocalFree(wide);
    return arguments;
}

void prepare_console_output() {
    ::SetConsoleOutputCP(CP_UTF8);
}

void install_stop_handlers(std::atomic<bool>& stop) {
    g_stop = &stop;
    g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void console_finished() {
    if (g_finished != nullptr) {
        ::SetEvent(g_finished);
    }
}

}  // namespace vetra::app
