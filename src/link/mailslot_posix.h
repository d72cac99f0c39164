#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace vetra::link {

// The POSIX half of the mailslots: local datagram sockets. "\\.\mailslot\A\B" is the socket
// file "A/B" under the mailslot directory ($VETRA_MAILSLOT_DIR, else
// $XDG_RUNTIME_DIR/vetra-mailslot, else /tmp/vetra-mailslot-$UID).
std::filesystem::path mailslot_directory();

// A directory the operator named is used as it is. A default one is used only when it is a
// real directory of the user's own: anyone may create /tmp/vetra-mailslot-$UID first, and
// mailslots there would be theirs to read and replace.
bool mailslot_directory_trusted();

// The socket file of a local mailslot name; nothing for the domain form "\\*\..." (which has
// no local equivalent) or a name that is not a mailslot name.
std::optional<std::filesystem::path> mailslot_path(std::string_view name);

}  // namespace vetra::link
