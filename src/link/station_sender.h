#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "library/datetime.h"
#include "library/lock_object.h"

namespace vetra::link {

inline constexpr const char* kStationMailslot = "\\\\.\\mailslot\\Registration\\FixedData";
inline constexpr const char* kStationDomainMailslot = "\\\\*\\mailslot\\Registration\\FixedData";

// One line of a results message: the record's key and its concentration.
using ResultLine = std::pair<std::string, double>;

// The lines of a results message (UTF-8, no line ends): one per record, then the start time
// of the analysis and the time of the results, as day numbers in the general number form.
std::vector<std::string> results_message_lines(const std::vector<ResultLine>& records,
                                               library::DayNumber start_time,
                                               library::DayNumber results_time);
// Lines joined with CR LF after each.
std::string join_message_lines(const std::vector<std::string>& lines);

// The program's only outgoing link to the registration station: short cp1251 texts written
// into its mailslot, each with its terminating zero byte. A missing station is not an error.
class StationSender {
public:
    explicit StationSender(library::LockObject& data_lock) : data_lock_(data_lock) {}

    void send_text(const std::string& utf8_text);
    void send_results(const std::vector<ResultLine>& records, library::DayNumber start_time,
                      library::DayNumber results_time);
    void send_totalizer(double value);
    void send_closing();

    // Whether the last message found the station's mailslot, for the status line; any
    // thread may send, so it is kept atomically.
    enum class Delivery { none, delivered, refused };
    Delivery last_delivery() const { return delivery_.load(); }

private:
    library::LockObject& data_lock_;
    std::atomic<Delivery> delivery_{Delivery::none};
};

}  // namespace vetra::link
