#pragma once

#include <string>

namespace vetra::storage {
class TableText;
}

namespace vetra::app {

// Prints the table to a PDF file as the window's "Распечатать..." does: the same drawing,
// the choices stored in the settings file `ini_path`, A4 landscape. An error text, or empty.
std::string print_table_pdf(const storage::TableText& table, const std::string& ini_path,
                            const std::string& pdf_path);

}  // namespace vetra::app
