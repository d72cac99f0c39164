#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vetra::sim {

// The instrument's end of a serial line: a pseudo-terminal whose slave side the program
// opens as its port. We keep the slave open ourselves, so that the master does not hang up
// while the program closes the port between cycles; and we watch the program's opens and
// closes of it, since bytes sent to a closed port must be lost as on a real line, not wait
// in the terminal for the next program that opens it.
class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // False (errno set) when no pseudo-terminal can be had.
    bool open();
    const std::string& slave_path() const { return slave_path_; }

    // Whether the program holds the port open. Always true where the opens and closes
    // cannot be watched.
    bool program_attached();

    enum class Write { done, detached, stalled, failed };
    // All bytes; gives up when the program closes the port or takes nothing for `stall`.
    Write write(const std::uint8_t* data, std::size_t size,
                std::chrono::milliseconds stall = std::chrono::seconds(3));
    Write write(std::string_view bytes);

    // What the program sent, waiting at most `timeout_ms` for something to come.
    std::size_t read(std::uint8_t* buffer, std::size_t size, int timeout_ms);

    // Throws away what was written but not yet read by the program's side.
    void drop_unread();

private:
    void take_events();

    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;  // inotify descriptor, or -1
    int opens_ = 0;   // the program's opens less its closes
    std::string slave_path_;
};

}  // namespace vetra::sim
