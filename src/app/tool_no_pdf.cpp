// vetra-tool built without the window library: no printing.
#include "app/tool_pdf.h"

namespace vetra::app {

std::string print_table_pdf(const storage::TableText&, const std::string&, const std::string&) {
    return "Печать недоступна: программа собрана без оконной библиотеки.";
}

}  // namespace vetra::app
