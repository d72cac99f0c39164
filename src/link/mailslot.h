#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "library/native_handle.h"

namespace vetra::link {

// Mailslots by their Windows names: "\\.\mailslot\A\B" on this computer, "\\*\mailslot\A\B"
// in the whole domain. Windows has them itself; on POSIX they are local datagram sockets
// (link/mailslot_posix.h). One message is one datagram, byte for byte, zero bytes included.

// Writes one message without waiting; false when no reader owns the mailslot or its queue is
// full, and for the domain form where it cannot be reached. Nothing is ever retried.
bool mailslot_write(std::string_view name, std::string_view message);

// The reading end of a mailslot, created for the program's lifetime. A second owner of the
// same name fails to create it and finds nothing. On POSIX only the user may write to it
// (mode 0600), and a name taken by something other than a socket cannot be created either.
class MailslotServer {
public:
    MailslotServer(std::string_view name, std::size_t max_message_size);
    ~MailslotServer();
    MailslotServer(const MailslotServer&) = delete;
    MailslotServer& operator=(const MailslotServer&) = delete;

    bool is_valid() const { return handle_ != library::kInvalidHandle; }
    // For waiting on messages (poll() on POSIX); kInvalidHandle when invalid.
    library::NativeHandle native_handle() const { return handle_; }
    // The next waiting message, without waiting. A message longer than the maximum size is
    // discarded, as Windows refuses such a write (Wine does not).
    std::optional<std::string> read_next();

private:
    library::NativeHandle handle_ = library::kInvalidHandle;
    // POSIX: the socket file, and its device and inode, so that only our own is removed.
    std::filesystem::path path_;
    std::pair<std::uint64_t, std::uint64_t> file_id_{0, 0};
    std::size_t max_size_;
};

}  // namespace vetra::link
