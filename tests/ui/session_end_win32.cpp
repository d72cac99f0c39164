#include "session_end.h"

#include <QtGui/private/qguiapplication_p.h>
#include <QGuiApplication>

namespace vetra::test {

std::vector<SessionEndKind> session_end_kinds() {
    return {{"logoff", 0}};
}

// What Qt's Windows platform does on WM_QUERYENDSESSION; the offscreen platform the tests
// run on has no window procedure to receive it.
void end_session(int) {
    static_cast<QGuiApplicationPrivate*>(QObjectPrivate::get(qGuiApp))->commitData();
}

}  // namespace vetra::test
