#include "app/console_platform.h"

#include <csignal>

namespace vetra::app {
namespace {

std::atomic<bool>* g_stop = nullptr;

extern "C" void on_signal(int) {
    g_stop->store(true);
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void prepare_console_output() {}

void install_stop_handlers(std::atomic<bool>& stop) {
    g_stop = &stop;
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);  // the terminal or the session went away
}

void console_finished() {}

}  // namespace vetra::app
