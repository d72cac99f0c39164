#include "session_end.h"

#include <csignal>

namespace vetra::test {

std::vector<SessionEndKind> session_end_kinds() {
    return {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
}

void end_session(int code) {
    (void)::raise(code);
}

}  // namespace vetra::test
