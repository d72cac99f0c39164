#include "app/ui/single_instance.h"

#include <QCryptographicHash>

namespace vetra::app::ui::platform {

QString local_server_name(const QString& canonical_dir) {
    const QByteArray hash =
        QCryptographicHash::hash(canonical_dir.toUtf8(), QCryptographicHash::Sha1).toHex();
    // The user's runtime directory is private to the user; the temporary directory is the
    // fallback where there is none.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString name = "vetra-" + QString::fromLatin1(hash.left(16));
    return runtime.isEmpty() ? name : runtime + "/" + name;
}

// X11 and Wayland leave raising to the window manager; there is nothing to pass on.
void let_running_come_forward() {}

}  // namespace vetra::app::ui::platform
