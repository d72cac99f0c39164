#include "settings/ui/lag_page.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "library/number_text.h"
#include "library/operator.h"
#include "settings/lag_settings.h"

namespace vetra::settings::ui {
namespace {

QString number(double v, int decimals) {
    return QString::fromStdString(library::fixed_to_text(v, decimals, ','));
}

// A range's end as short as it reads: "0", "0,5", "1,01".
QString bound(double v) {
    QString text = number(v, 3);
    while (text.contains(',') && (text.endsWith('0') || text.endsWith(','))) {
        text.chop(1);
    }
    return text;
}

QDateTime qt_time(library::DayNumber days) {
    const library::LocalTime t = library::from_day_number(days);
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

library::DayNumber day_number(const QDateTime& t) {
    library::LocalTime l;
    l.year = t.date().year();
    l.month = t.date().month();
    l.day = t.date().day();
    l.hour = t.time().hour();
    l.minute = t.time().minute();
    l.second = t.time().second();
    return library::to_day_number(l);
}

}  // namespace

LagPage::LagPage(library::Operator* op, ApplyLag apply_lag, QWidget* parent)
    : QWidget(parent), op_(op), apply_lag_(std::move(apply_lag)) {
    setObjectName("LagPage");
    auto* layout = new QVBoxLayout(this);

    auto* depth = new QGroupBox("Глубина пробы и отставание", this);
    auto* depth_form = new QFormLayout(depth);
    cbSampleDepth = new QComboBox(depth);
    cbSampleDepth->setObjectName("cbSampleDepth");
    cbSampleDepth->addItems({"как передана", "с отставанием"});
    cbSampleDepth->setToolTip(
        "«как передана» — глубина станции как есть (станция может сама учитывать "
        "отставание); «с отставанием» — глубина долота в момент, когда газ пробы покинул забой");
    const auto add = [this](int index, QWidget* parent_widget, const char* object, const char* name,
                            double low, double high, int decimals) {
        auto* edit = new QLineEdit(parent_widget);
        edit->setObjectName(object);
        fields_[index] = {edit, name, low, high, decimals};
        connect(edit, &QLineEdit::textChanged, this, &LagPage::check_fields);
        return edit;
    };
    depth_form->addRow("Глубина пробы:", cbSampleDepth);
    depth_form->addRow("Отставание, ходов:",
                       add(kStrokes, depth, "edLagStrokes", "Отставание, ходов", 0, 1e6, 0));
    depth_form->addRow("Отставание, мин:",
                       add(kMinutes, depth, "edLagMinutes", "Отставание, мин", 0, 24 * 60, 1));
    depth_form->addRow("Задержка линии пробы, с:",
                       add(kDelay, depth, "edLineDelay", "Задержка линии пробы, с", 0, 3600, 0));
    auto* note = new QLabel(
        "По ходам насосов отставание считается, пока буровая передаёт ходы (WITS), иначе — по "
        "времени. По времени программа не может знать, что насосы остановлены: пока они стоят, "
        "глубина пробы по времени неверна.",
        depth);
    note->setObjectName("lbTimeNote");
    note->setWordWrap(true);
    depth_form->addRow(note);
    layout->addWidget(depth);

    auto* shows = new QGroupBox("Фон и газопоказания", this);
    auto* shows_form = new QFormLayout(shows);
    shows_form->addRow("Фон по последним, м:", add(kBackground, shows, "edBackgroundMetres",
                                                   "Фон по последним, м", 0.5, 1000, 1));
    shows_form->addRow(
        "Газопоказание, раз выше фона:",
        add(kFactor, shows, "edShowFactor", "Газопоказание, раз выше фона", 1.01, 100, 2));
    shows_form->addRow("и выше фона не менее, %:",
                       add(kMinimum, shows, "edShowMinimum", "Выше фона не менее, %", 0, 100, 3));
    layout->addWidget(shows);

    lbProblem = new QLabel(this);
    lbProblem->setObjectName("lbLagProblem");
    lbProblem->setStyleSheet("color: #b00000");
    lbProblem->setWordWrap(true);
    lbProblem->hide();
    layout->addWidget(lbProblem);

    if (apply_lag_) {
        auto* rows = new QGroupBox("Исправленное отставание", this);
        auto* row_layout = new QHBoxLayout(rows);
        row_layout->addWidget(new QLabel("к строкам с", rows));
        edSince = new QDateTimeEdit(rows);
        edSince->setObjectName("edLagSince");
        edSince->setDisplayFormat("dd.MM.yyyy hh:mm:ss");
        row_layout->addWidget(edSince);
        btnApplyLag = new QPushButton("Применить", rows);
        btnApplyLag->setObjectName("btnApplyLag");
        btnApplyLag->setToolTip(
            "Пересчитать глубину строк, проанализированных с этого времени, по введённому "
            "отставанию и истории глубины скважины");
        row_layout->addWidget(btnApplyLag);
        row_layout->addStretch(1);
        connect(btnApplyLag, &QPushButton::clicked, this, &LagPage::apply_to_rows);
        layout->addWidget(rows);
    }
    layout->addStretch(1);
}

void LagPage::fill(const LagSettings& lag) {
    cbSampleDepth->setCurrentIndex(lag.lagged_here() ? 1 : 0);
    const double values[kFields] = {lag.lag_strokes,       lag.lag_minutes, lag.line_delay_seconds,
                                    lag.background_metres, lag.show_factor, lag.show_minimum};
    for (int i = 0; i < kFields; ++i) {
        fields_[i].edit->setText(number(values[i], fields_[i].decimals));
    }
    if (edSince) {
        edSince->setDateTime(QDateTime::currentDateTime().addSecs(-3600));
    }
    check_fields();
}

void LagPage::set_since(library::DayNumber since) {
    if (edSince) {
        edSince->setDateTime(qt_time(since));
    }
}

std::optional<double> LagPage::value(int field) const {
    QString text = fields_[field].edit->text().trimmed();
    text.replace(',', '.');
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < fields_[field].low || v > fields_[field].high) {
        return std::nullopt;
    }
    return v;
}

QString LagPage::field_problem(int field) const {
    if (value(field)) {
        return {};
    }
    const Field& f = fields_[field];
    return QString("%1: число от %2 до %3")
        .arg(QString::fromUtf8(f.name), bound(f.low), bound(f.high));
}

QString LagPage::problem() const {
    for (int i = 0; i < kFields; ++i) {
        if (QString p = field_problem(i); !p.isEmpty()) {
            return p;
        }
    }
    return {};
}

void LagPage::check_fields() {
    const QString p = problem();
    lbProblem->setText(p);
    lbProblem->setVisible(!p.isEmpty());
}

void LagPage::apply(LagSettings& lag) const {
    // Only a page without problems is applied; a field left wrong keeps its value regardless.
    lag.sample_depth =
        cbSampleDepth->currentIndex() == 1 ? LagSettings::kLaggedHere : LagSettings::kAsSent;
    double* targets[kFields] = {&lag.lag_strokes,       &lag.lag_minutes, &lag.line_delay_seconds,
                                &lag.background_metres, &lag.show_factor, &lag.show_minimum};
    for (int i = 0; i < kFields; ++i) {
        *targets[i] = value(i).value_or(*targets[i]);
    }
    lag.normalize();
}

void LagPage::apply_to_rows() {
    const auto message = [this](const QString& text, library::MessageIcon icon) {
        if (op_) {
            op_->show_message(text.toStdString(), "Ошибка ввода параметра", icon);
        }
    };
    for (const int field : {kStrokes, kMinutes, kDelay}) {
        if (const QString p = field_problem(field); !p.isEmpty()) {
            message(p, library::MessageIcon::warning);
            return;
        }
    }
    if (cbSampleDepth->currentIndex() != 1) {
        message("Отставание применяется к строкам только при глубине пробы «с отставанием»",
                library::MessageIcon::warning);
        return;
    }
    const std::string line =
        apply_lag_(day_number(edSince->dateTime()), *value(kStrokes), *value(kMinutes));
    if (op_) {
        op_->show_message(line, "Отставание", library::MessageIcon::information);
    }
}

}  // namespace vetra::settings::ui
