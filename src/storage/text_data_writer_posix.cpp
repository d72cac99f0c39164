#include "storage/text_data_writer.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace vetra::storage {
namespace {

std::string format_with(const library::LocalTime& t, const char* format) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    char buffer[128];
    std::size_t n = 0;
    const locale_t system = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (system != static_cast<locale_t>(nullptr)) {
        n = ::strftime_l(buffer, sizeof buffer, format, &tm, system);
        ::freelocale(system);
    } else {
        n = std::strftime(buffer, sizeof buffer, format, &tm);
    }
    return std::string(buffer, n);
}

}  // namespace

std::string system_short_date(const library::LocalTime& t) {
    return format_with(t, "%x");
}

std::string system_long_time(const library::LocalTime& t) {
    return format_with(t, "%X");
}

std::error_code append_to_file(const std::filesystem::path& path, std::string_view bytes) {
    const auto cause = [] { return std::error_code(errno, std::generic_category()); };
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return cause();
    }
    // Locked so that the size read is where this line goes, even with a second program on
    // the same folder; a line cut short is cut off again, so the next one starts a line.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {};
    const bool sized = ::fstat(fd, &st) == 0;
    std::error_code error = sized ? std::error_code() : cause();
    ssize_t n = -1;
    while (!error && (n = ::write(fd, bytes.data(), bytes.size())) < 0 && errno == EINTR) {
    }
    if (!error && n < 0) {
        error = cause();
    } else if (!error && n != static_cast<ssize_t>(bytes.size())) {
        error = std::make_error_code(std::errc::no_space_on_device);
    }
    if (error && sized) {
        (void)::ftruncate(fd, st.st_size);
    }
    if (::close(fd) != 0 && !error) {
        error = cause();
    }
    return error;
}

}  // namespace vetra::storage
