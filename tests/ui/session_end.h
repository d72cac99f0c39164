#pragma once

#include <vector>

// Ends the desktop session the way the platform tells a program, for the tests of the
// window's orderly close: signals here, the session manager's save request on Windows.
namespace vetra::test {

struct SessionEndKind {
    const char* name;
    int code;
};

std::vector<SessionEndKind> session_end_kinds();
void end_session(int code);

}  // namespace vetra::test
