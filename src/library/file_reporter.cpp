#include "library/file_reporter.h"

namespace vetra::library {

void FileReporter::report(const std::string& file, bool ok, const std::string& error) {
    const std::string cause = error.empty() ? std::string("ошибка записи") : error;
    {
        std::lock_guard lock(mutex_);
        const auto it = failing_.find(file);
        if (ok) {
            if (it == failing_.end()) {
                return;
            }
            failing_.erase(it);
        } else {
            if (it != failing_.end()) {
                return;
            }
            failing_.emplace(file, cause);
            ++spells_;
        }
    }
    if (ok) {
        spell_ended(file);
    } else {
        spell_began(file, cause);
    }
}

void FileReporter::report(const std::string& file, bool ok, std::error_code error) {
    report(file, ok, error ? error.message() : std::string());
}

bool FileReporter::failing(const std::string& file) const {
    std::lock_guard lock(mutex_);
    return failing_.count(file) != 0;
}

std::vector<std::string> FileReporter::failing_files() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> files;
    for (const auto& entry : failing_) {
        files.push_back(entry.first);
    }
    return files;
}

int FileReporter::spells() const {
    std::lock_guard lock(mutex_);
    return spells_;
}

std::string file_failure_text(const std::string& file, const std::string& error) {
    return "Не удалось записать файл \"" + file + "\"" + (error.empty() ? "" : ": " + error);
}

std::string file_recovered_text(const std::string& file) {
    return "Файл \"" + file + "\" снова записывается";
}

}  // namespace vetra::library
