#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <boost/signals2/connection.hpp>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/etalon_program.h"
#include "analysis/etalon_storage.h"
#include "analysis/ui/tetal_start_form.h"
#include "library/ui/number_fields.h"

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class QWidget;

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}

namespace vetra::analysis::ui {

// What the calibration window needs from the rest of the program besides the controller.
struct EtalonHooks {
    std::function<void(const std::string&)> journal;  // adds a line to the event log
    std::function<void()> help;                       // shows the calibration help topic
};

// The calibration window " Калибровка хроматографа": the calibration program, the run of a
// point, the result grid, the curve view, export and import, and the commit to the store.
// Not modal; a window of the main window (so above it), never above its own dialogs. While a
// point runs, the window keeps its place and shows a run bar with the attempt, the cycle's
// progress and "Отмена". The waits of a run are timers and the controller's notifications,
// so the main timer keeps driving the controller meanwhile.
class TEtalonForm : public QWidget {
    Q_OBJECT
public:
    TEtalonForm(control::VetraSystem& system, settings::GlobalSettings& settings,
                library::Operator& op, EtalonHooks hooks, QWidget* parent = nullptr);
    ~TEtalonForm() override;

    // The main window's menu item: the settings file's path, then open. A window already
    // open (or running a point) is only brought forward, with nothing reloaded.
    void set_settings_path(std::string path) { settings_path_ = std::move(path); }
    void open_window();

    void AddRecord();
    void EditRecord();
    void DeleteRecord();
    void Grid1Click();
    void Button8Click();
    void SpeedButton1Click();
    void Edit1Change();
    void Button5Click();
    void MyButton9Click();
    void MyButton10Click();
    void Button1Click();
    void Button2Click();

    // What the editor's and the file dialogs' OK lead to.
    void add_point(const EtalonPoint& point);
    void replace_point(int row, const EtalonPoint& point);
    void save_to(const std::string& path);
    void load_from(const std::string& path);

    const std::vector<EtalonPoint>& points() const { return points_; }
    double degassing() const { return degassing_; }
    bool running() const { return running_; }
    QTableWidget* Grid1() const { return grid1_; }
    QTableWidget* Grid2() const { return grid2_; }
    QLineEdit* Edit1() const { return edit1_; }
    library::ui::NumberFields number_fields() const;
    QPushButton* run_button() const { return run_button_; }
    QPushButton* cancel_button() const { return cancel_button_; }
    QLabel* message() const { return message_; }
    // The bar shown while a point runs, and its line (the attempt, or what the run waits for).
    QWidget* run_bar() const { return run_bar_; }
    QLabel* run_title() const { return run_title_; }
    // The feed prompt while it is shown.
    TEtalStartForm* start_form() const { return start_form_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // awaiting_idle: the feed was confirmed while a cycle started before it ran; the attempt
    // starts its own analysis once that one has ended.
    enum class Phase { idle, prompt, awaiting_idle, settling, until_end };

    QWidget* build_program_panel();
    QWidget* build_run_bar(QWidget* parent);
    QWidget* build_result_panel();
    QWidget* build_bottom_panel();
    void fill_program_grid();
    void fill_result_grid();
    void read_result_grid();
    void select_row(int row);
    int selected_row() const;
    void set_running_view(bool running);
    void commit();

    void on_prompt_finished(int result);
    void start_attempt();
    void on_settled();
    void on_cycle_end();
    void end_run(const QString& why);
    void update_progress();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    EtalonHooks hooks_;
    std::string settings_path_;

    std::vector<EtalonPoint> points_;
    double degassing_ = 1.0;
    bool discard_on_close_ = true;
    bool running_ = false;
    bool cancel_requested_ = false;
    QRect saved_bounds_;

    Phase phase_ = Phase::idle;
    int run_row_ = -1;
    int attempt_ = 0;
    std::optional<RepeatCapture> capture_;
    QTimer* settle_timer_;
    QTimer* end_poll_;
    QTimer* progress_timer_;
    QPointer<TEtalStartForm> start_form_;
    boost::signals2::scoped_connection cycle_connection_;

    QTableWidget* grid1_ = nullptr;
    QTableWidget* grid2_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QPushButton* add_button_ = nullptr;
    QPushButton* edit_button_ = nullptr;
    QPushButton* delete_button_ = nullptr;
    QPushButton* run_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    QPushButton* view_button_ = nullptr;
    QPushButton* ok_button_ = nullptr;
    QWidget* result_panel_ = nullptr;
    QWidget* bottom_panel_ = nullptr;
    QLabel* program_title_ = nullptr;
    QLabel* message_ = nullptr;
    QWidget* run_bar_ = nullptr;
    QLabel* run_title_ = nullptr;
    QProgressBar* run_progress_ = nullptr;
    QMenu* popup_ = nullptr;
};

}  // namespace vetra::analysis::ui
