#pragma once

#include <QDialog>
#include <QPageLayout>
#include <memory>
#include <string>

#include "reports/table_export.h"
#include "reports/ui/table_document.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QRadioButton;

namespace vetra::library {
class Operator;
}

namespace vetra::reports::ui {

inline constexpr const char* kPrintSection = "печать_таблицы";
inline constexpr const char* kDefaultTitle = "Геолого-технологические исследования";
inline constexpr const char* kNoPrinterText =
    "Невозможно выполнить печать. Проверьте, установлен ли принтер в системе";
inline constexpr const char* kPrintFailedText =
    "Таблица напечатана не полностью: принтер отказал или печать была прервана.";
inline constexpr const char* kPrintCaption = "  Печать";

// "  Распечатка таблицы": title, table head, whole table or the selected fragment, landscape,
// the widest cell and the font size; "Просмотр..." shows the preview.
class TPrintGridForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrintGridForm(QWidget* parent = nullptr);
    ~TPrintGridForm() override;

    void set_ini_file(std::string path) { ini_path_ = std::move(path); }
    void set_landscape(bool on);
    void set_alignment(int alignment) { alignment_ = alignment; }
    // The printer to print on; without one "Печать" asks for one (or a PDF file).
    void set_printer(QPrinter* printer) { printer_ = printer; }
    void set_operator(library::Operator* op) { operator_ = op; }

    // Loads the stored choices, offers the fragment when more than one cell is selected,
    // runs the dialog and, unless it is cancelled, prints and stores the choices.
    bool execute(const storage::TableText& table, TableSelection selection);

    // The steps of execute around the modal run.
    void prepare(const storage::TableText& table, TableSelection selection);
    bool print_and_save();

    PrintOptions options() const;
    bool whole_table() const;
    // What gets printed: the table, or the fragment with its header row and first column.
    const storage::TableText& chosen_table() const;

    void PreviewClick();
    void PrintClick();
    void load_settings();
    // The page the preview shows: the printer's, or A4 when none is chosen yet.
    QPageLayout page_layout() const;

private:
    void save_settings() const;

    std::string ini_path_;
    int alignment_ = 1;
    QPrinter* printer_ = nullptr;
    std::unique_ptr<QPrinter> own_printer_;
    library::Operator* operator_ = nullptr;
    const storage::TableText* table_ = nullptr;
    std::unique_ptr<FragmentTable> fragment_;

    QLineEdit* title_ = nullptr;
    QPlainTextEdit* head_ = nullptr;
    QRadioButton* whole_ = nullptr;
    QRadioButton* selected_ = nullptr;
    QCheckBox* landscape_ = nullptr;
    QComboBox* cell_width_ = nullptr;
    QComboBox* font_size_ = nullptr;
};

// The print choices stored in the settings file (title and widest cell), the rest as the
// dialog starts: what a print without the dialog uses.
PrintOptions stored_print_options(const std::string& ini_path);

// The table page's "Распечатать...": the dialog over the table with the operator's
// selection (table coordinates), the settings file, landscape and right-aligned values.
// A printer may be given (tests print to PDF). True when the table was printed.
bool print_table(QWidget* parent, const storage::TableText& table, TableSelection selection,
                 const std::string& ini_path, library::Operator& op, QPrinter* printer = nullptr);

}  // namespace vetra::reports::ui
