#include "library/operator.h"

#include <cstdio>

namespace vetra::library {

void ConsoleOperator::beep(int, int) {}

void ConsoleOperator::show_message(const std::string& text, const std::string& caption,
                                   MessageIcon) {
    std::fprintf(stderr, "%s: %s\n", std::string(caption.empty() ? "" : caption).c_str(),
                 text.c_str());
    std::fflush(stderr);
}

bool ConsoleOperator::ask_yes_no(const std::string& text, const std::string& caption) {
    show_message(text, caption, MessageIcon::question);
    return true;
}


}  // namespace vetra::library
