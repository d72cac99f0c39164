#include "app/ui/single_instance.h"

#include <windows.h>
#include <QCryptographicHash>

namespace vetra::app::ui::platform {

// A pipe name is machine-wide, so the user's name goes into it; and the file system
// ignores case, so "C:\Vetra" and "c:\vetra" are one directory.
QString local_server_name(const QString& canonical_dir) {
    const QString key = canonical_dir.toLower() + '\n' + qEnvironmentVariable("USERNAME").toLower();
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return "vetra-" + QString::fromLatin1(hash.left(16));
}

// Windows lets only the program the operator is using take the foreground; the running one
// would otherwise only flash its button in the task bar.
void let_running_come_forward() {
    (void)AllowSetForegroundWindow(ASFW_ANY);
}

}  // namespace vetra::app::ui::platform
