#include "settings/ui/wits_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <optional>

#include "link/wits_link.h"
#include "settings/rig_settings.h"

namespace vetra::settings::ui {
namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string text_of(const QLineEdit* edit, const std::string& old) {
    const QString text = edit->text().trimmed();
    return text.isEmpty() ? old : text.toStdString();
}

QLabel* problem_label(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setStyleSheet("color: #b00000");
    label->setWordWrap(true);
    label->hide();
    return label;
}

// The address field's problem for the transport chosen in the list ("" when fine or unused).
QString address_problem(const QComboBox* list, const QLineEdit* edit) {
    const auto transport = static_cast<link::WitsTransport>(list->currentIndex());
    if (transport != link::WitsTransport::tcp_client &&
        transport != link::WitsTransport::tcp_server) {
        return {};
    }
    return q(link::wits_address_problem(transport, edit->text().trimmed().toStdString()));
}

// The idle limit as typed, when it is a whole number of seconds the input can use.
std::optional<std::int32_t> idle_limit_of(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (!ok || value < 0 || value > RigSettings::kMaxIdleLimit) {
        return std::nullopt;
    }
    return value;
}

QString idle_limit_problem(const QComboBox* list, const QLineEdit* edit) {
    if (list->currentIndex() == 0 || idle_limit_of(edit)) {
        return {};
    }
    return QString("Ожидание данных: целое число секунд от 0 до %1 (0 — без ограничения)")
        .arg(RigSettings::kMaxIdleLimit);
}

void show_problem(QLabel* label, const QString& problem) {
    label->setText(problem);
    label->setVisible(!problem.isEmpty());
}

}  // namespace

WitsPage::WitsPage(QWidget* parent) : QWidget(parent) {
    setObjectName("WitsPage");
    auto* layout = new QVBoxLayout(this);

    auto* out = new QGroupBox("Передача данных WITS", this);
    auto* out_form = new QFormLayout(out);
    cbOut = new QComboBox(out);
    cbOut->addItems({"Нет", "Последовательный порт", "Подключение к приёмнику (адрес:порт)",
                     "Приём подключений (порт)"});
    edOutPort = new QLineEdit(out);
    edOutMode = new QLineEdit(out);
    edOutAddress = new QLineEdit(out);
    edOutAddress->setObjectName("edOutAddress");
    lbOutProblem = problem_label(out);
    out_form->addRow("Куда:", cbOut);
    out_form->addRow("Порт:", edOutPort);
    out_form->addRow("Параметры порта:", edOutMode);
    out_form->addRow("Адрес:", edOutAddress);
    out_form->addRow(lbOutProblem);
    layout->addWidget(out);

    auto* in = new QGroupBox("Глубина из потока WITS буровой", this);
    auto* in_form = new QFormLayout(in);
    cbIn = new QComboBox(in);
    cbIn->addItems({"Нет", "Последовательный порт", "Подключение к серверу (адрес:порт)"});
    edInPort = new QLineEdit(in);
    edInMode = new QLineEdit(in);
    edInAddress = new QLineEdit(in);
    edInAddress->setObjectName("edInAddress");
    lbInProblem = problem_label(in);
    edInIdle = new QLineEdit(in);
    edInIdle->setObjectName("edInIdle");
    edInIdle->setToolTip(
        "Если от буровой так долго не приходит ни байта, связь открывается "
        "заново; 0 — ждать без ограничения");
    lbIdleProblem = problem_label(in);
    cbDepthItem = new QComboBox(in);
    cbDepthItem->addItems({"Глубина забоя (0110)", "Глубина долота (0108)"});
    in_form->addRow("Откуда:", cbIn);
    in_form->addRow("Порт:", edInPort);
    in_form->addRow("Параметры порта:", edInMode);
    in_form->addRow("Адрес:", edInAddress);
    in_form->addRow(lbInProblem);
    in_form->addRow("Ожидание данных, с:", edInIdle);
    in_form->addRow(lbIdleProblem);
    in_form->addRow("Глубина:", cbDepthItem);
    layout->addWidget(in);

    auto* las = new QGroupBox("Заголовок файла LAS", this);
    auto* las_form = new QFormLayout(las);
    edCompany = new QLineEdit(las);
    edService = new QLineEdit(las);
    edLocation = new QLineEdit(las);
    las_form->addRow("Компания:", edCompany);
    las_form->addRow("Сервисная компания:", edService);
    las_form->addRow("Местоположение:", edLocation);
    layout->addWidget(las);
    layout->addStretch(1);

    connect(cbOut, &QComboBox::currentIndexChanged, this, &WitsPage::enable_fields);
    connect(cbIn, &QComboBox::currentIndexChanged, this, &WitsPage::enable_fields);
    connect(edOutAddress, &QLineEdit::textChanged, this, &WitsPage::check_addresses);
    connect(edInAddress, &QLineEdit::textChanged, this, &WitsPage::check_addresses);
    connect(edInIdle, &QLineEdit::textChanged, this, &WitsPage::check_addresses);
}

QString WitsPage::problem() const {
    if (const QString p = address_problem(cbOut, edOutAddress); !p.isEmpty()) {
        return "Передача данных WITS: " + p;
    }
    if (const QString p = address_problem(cbIn, edInAddress); !p.isEmpty()) {
        return "Глубина из потока WITS: " + p;
    }
    if (const QString p = idle_limit_problem(cbIn, edInIdle); !p.isEmpty()) {
        return "Глубина из потока WITS: " + p;
    }
    return {};
}

void WitsPage::check_addresses() {
    show_problem(lbOutProblem, address_problem(cbOut, edOutAddress));
    show_problem(lbInProblem, address_problem(cbIn, edInAddress));
    show_problem(lbIdleProblem, idle_limit_problem(cbIn, edInIdle));
}

void WitsPage::fill(const RigSettings& rig) {
    cbOut->setCurrentIndex(rig.wits_out);
    edOutPort->setText(q(rig.wits_out_port));
    edOutMode->setText(q(rig.wits_out_mode));
    edOutAddress->setText(q(rig.wits_out_address));
    cbIn->setCurrentIndex(rig.wits_in);
    edInPort->setText(q(rig.wits_in_port));
    edInMode->setText(q(rig.wits_in_mode));
    edInAddress->setText(q(rig.wits_in_address));
    edInIdle->setText(QString::number(rig.wits_in_idle_limit));
    cbDepthItem->setCurrentIndex(rig.wits_in_depth_item == 108 ? 1 : 0);
    edCompany->setText(q(rig.las_company));
    edService->setText(q(rig.las_service));
    edLocation->setText(q(rig.las_location));
    enable_fields();
}

void WitsPage::apply(RigSettings& rig) const {
    rig.wits_out = cbOut->currentIndex();
    rig.wits_out_port = text_of(edOutPort, rig.wits_out_port);
    rig.wits_out_mode = text_of(edOutMode, rig.wits_out_mode);
    rig.wits_out_address = edOutAddress->text().trimmed().toStdString();
    rig.wits_in = cbIn->currentIndex();
    rig.wits_in_port = text_of(edInPort, rig.wits_in_port);
    rig.wits_in_mode = text_of(edInMode, rig.wits_in_mode);
    rig.wits_in_address = edInAddress->text().trimmed().toStdString();
    rig.wits_in_idle_limit = idle_limit_of(edInIdle).value_or(rig.wits_in_idle_limit);
    rig.wits_in_depth_item = cbDepthItem->currentIndex() == 1 ? 108 : 110;
    rig.las_company = edCompany->text().trimmed().toStdString();
    rig.las_service = edService->text().trimmed().toStdString();
    rig.las_location = edLocation->text().trimmed().toStdString();
    rig.normalize();
}

void WitsPage::enable_fields() {
    const int out = cbOut->currentIndex();
    edOutPort->setEnabled(out == 1);
    edOutMode->setEnabled(out == 1);
    edOutAddress->setEnabled(out >= 2);
    const int in = cbIn->currentIndex();
    edInPort->setEnabled(in == 1);
    edInMode->setEnabled(in == 1);
    edInAddress->setEnabled(in == 2);
    edInIdle->setEnabled(in != 0);
    cbDepthItem->setEnabled(in != 0);
    check_addresses();
}

}  // namespace vetra::settings::ui
