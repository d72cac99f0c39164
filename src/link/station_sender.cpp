#include "link/station_sender.h"

#include "library/cp1251.h"
#include "library/number_text.h"
#include "link/mailslot.h"

namespace vetra::link {
namespace {

constexpr const char* kClosingKeys[] = {
    "метан_абс", "этан_абс", "пропан_абс", "бутан_абс", "пентан_абс", "гексан_абс", "сумм_газ",
    "метан_отн", "этан_отн", "пропан_отн", "бутан_отн", "пентан_отн", "гексан_отн"};

}  // namespace

std::vector<std::string> results_message_lines(const std::vector<ResultLine>& records,
                                               library::DayNumber start_time,
                                               library::DayNumber results_time) {
    std::vector<std::string> lines;
    lines.reserve(records.size() + 2);
    for (const auto& [key, value] : records) {
        lines.push_back(key + "=" + library::float_to_text(value));
    }
    lines.push_back("время_запуска=" + library::float_to_text(start_time));
    lines.push_back("время_расчета=" + library::float_to_text(results_time));
    return lines;
}

std::string join_message_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void StationSender::send_text(const std::string& utf8_text) {
    std::string message = library::utf8_to_cp1251(utf8_text);
    message.push_back('\0');
    library::ScopedLock lock(data_lock_);
    const bool delivered = mailslot_write(kStationMailslot, message) ||
                           mailslot_write(kStationDomainMailslot, message);
    delivery_.store(delivered ? Delivery::delivered : Delivery::refused);
}

void StationSender::send_results(const std::vector<ResultLine>& records,
                                 library::DayNumber start_time, library::DayNumber results_time) {
    send_text(join_message_lines(results_message_lines(records, start_time, results_time)));
}

void StationSender::send_totalizer(double value) {
    send_text("сумм_газ2=" + library::float_to_text(value));
}

void StationSender::send_closing() {
    std::vector<std::string> lines;
    for (const char* key : kClosingKeys) {
        lines.push_back(std::string(key) + "=0");
    }
    send_text(join_message_lines(lines));
}

}  // namespace vetra::link
