#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace vetra::test {

// A pseudo-terminal standing in for a serial line: the code under test opens the slave by
// its path, the test plays the instrument on the master. Both sides start in raw mode so
// that nothing is echoed or translated. The pair keeps its own slave descriptor open, which
// lets a test look at the line settings and keeps the master usable while the port closes.
class PtyPair {
  public:
    PtyPair();  // throws std::runtime_error when no pseudo-terminal can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    [[nodiscard]] int master_fd() const { return master_; }
    [[nodiscard]] const std::string& slave_path() const { return slave_path_; }

    // Writes all bytes to the master side (throws on failure).
    void write(std::string_view bytes) const;
    // Up to n bytes from the master side, waiting at most `deadline` for all of them.
    [[nodiscard]] std::string read(std::size_t n, std::chrono::milliseconds deadline) const;
    // The line settings as the port left them.
    [[nodiscard]] termios slave_termios() const;
    // Hangs the line up: the slave side sees the other end vanish.
    void close_master();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

// Number of descriptors this process has open.
[[nodiscard]] std::size_t open_descriptor_count();

}  // namespace vetra::test
