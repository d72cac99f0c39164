#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vetra::link {

// Mailslots are local datagram sockets: "\\.\mailslot\A\B" is the socket file "A/B" under
// the mailslot directory ($VETRA_MAILSLOT_DIR, else $XDG_RUNTIME_DIR/vetra-mailslot, else
// /tmp/vetra-mailslot-$UID). One message is one datagram.
std::filesystem::path mailslot_directory();

// A directory the operator named is used as it is. A default one is used only when it is a
// real directory of the user's own: anyone may create /tmp/vetra-mailslot-$UID first, and
// mailslots there would be theirs to read and replace.
bool mailslot_directory_trusted();

// The socket file of a local mailslot name; nothing for the domain form "\\*\..." (which has
// no local equivalent) or a name that is not a mailslot name.
std::optional<std::filesystem::path> mailslot_path(std::string_view name);

// Writes one message without waiting; false when no reader owns the mailslot or its queue is
// full. Nothing is ever retried.
bool mailslot_write(std::string_view name, std::string_view message);

// The reading end of a mailslot, created for the program's lifetime. Only the user may
// write to it (mode 0600). A second owner of the same name fails to create it and finds
// nothing; so does one whose name is taken by something other than a socket.
class MailslotServer {
public:
    MailslotServer(std::string_view name, std::size_t max_message_size);
    ~MailslotServer();
    MailslotServer(const MailslotServer&) = delete;
    MailslotServer& operator=(const MailslotServer&) = delete;

    bool is_valid() const { return fd_ >= 0; }
    // For waiting on messages with poll(); -1 when invalid.
    int native_handle() const { return fd_; }
    // The next waiting message, without waiting. A message longer than the maximum size is
    // discarded, as the platform refuses such a write.
    std::optional<std::string> read_next();

private:
    int fd_ = -1;
    std::filesystem::path path_;
    std::pair<std::uint64_t, std::uint64_t> file_id_{0, 0};  // device and inode of our file
    std::size_t max_size_;
};

}  // namespace vetra::link
