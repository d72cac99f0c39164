#include "settings/ui/topt_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "library/ui/qt_text.h"
#include "library/ui/screen_fit.h"
#include "link/serial_port_list.h"
#include "settings/ui/lag_page.h"
#include "settings/ui/totalizer_control.h"
#include "settings/ui/wits_page.h"
#include "widgets/ui/colour_select_form.h"

namespace vetra::settings::ui {
namespace {

// An unmarked spot of the dialog that answers a double click.
class HiddenArea : public QWidget {
public:
    HiddenArea(int width, int height, std::function<void()> action, QWidget* parent)
        : QWidget(parent), action_(std::move(action)) {
        setFixedSize(width, height);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        action_();
        event->accept();
    }

private:
    std::function<void()> action_;
};

QComboBox* list_box(const QStringList& items, bool editable, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setEditable(editable);
    return box;
}

QStringList numbers(int from, int to) {
    QStringList list;
    for (int i = from; i <= to; ++i) {
        list << QString::number(i);
    }
    return list;
}

QStringList port_names() {
    QStringList list;
    for (const auto& name : link::serial_port_names()) {
        list << QString::fromStdString(name);
    }
    return list;
}

QLineEdit* number_edit(QWidget* parent, int width = 90) {
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(width);
    return edit;
}

// A row of widgets with the stretch at the end.
QWidget* row_of(QWidget* parent, std::initializer_list<QWidget*> widgets) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets) {
        w->setParent(row);
        layout->addWidget(w);
    }
    layout->addStretch(1);
    return row;
}

// A page scrolls where a large font makes it taller or wider than the screen allows, so
// the buttons below stay on the screen. Qt caps a scroll area's size hint at 36 by 24
// lines, which opened the dialog 530 px wide with the timing table behind a scroll bar:
// this one asks for its whole page (and room for the vertical bar), and the dialog is
// then capped by the screen.
class PageScroll : public QScrollArea {
public:
    QSize sizeHint() const override {
        const QSize page = widget() != nullptr ? widget()->sizeHint() : QSize();
        const int frame = 2 * frameWidth();
        return page + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }
};

QScrollArea* scrolling(QWidget* page) {
    auto* area = new PageScroll();
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(page);
    return area;
}

}  // namespace

TOptForm::TOptForm(GlobalSettings& settings, control::VetraSystem& system,
                   TotalizerControl& totalizer, DialogServices services, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      system_(system),
      totalizer_(totalizer),
      services_(std::move(services)) {
    setWindowTitle("  Настройки");
    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->addTab(scrolling(build_mode_page()), "Режим");
    PageControl1->addTab(scrolling(build_gas_page()), "Газ");
    PageControl1->addTab(scrolling(build_screen_page()), "Экран");
    PageControl1->addTab(scrolling(build_totalizer_page()), "Газосумматор");
    PageControl1->addTab(scrolling(build_misc_page()), "Разное");
    maker_page_ = build_maker_page();
    PageControl1->addTab(scrolling(maker_page_), "Настройки производителя");
    PageControl1->setTabVisible(5, false);
    if (services_.rig) {
        wits_page_ = new WitsPage(this);
        PageControl1->addTab(scrolling(wits_page_), "WITS");
        wits_page_->fill(*services_.rig);
    }
    if (services_.lag) {
        lag_page_ = new LagPage(services_.op, services_.apply_lag, this);
        PageControl1->addTab(scrolling(lag_page_), "Отставание");
        lag_page_->fill(*services_.lag);
    }
    layout->addWidget(PageControl1, 1);
    layout->addWidget(build_buttons());
    resize(library::ui::within_screen(this, sizeHint()));

    zero_timer_ = new QTimer(this);
    zero_timer_->setInterval(kZeroShiftTickMs);
    connect(zero_timer_, &QTimer::timeout, this, &TOptForm::zero_shift_tick);
    fill();
    library::ui::keep_single_line_fields(this);
}

QWidget* TOptForm::build_mode_page() {
    auto* page = new QWidget(this);
    auto* layout = new QHBoxLayout(page);
    auto* left = new QVBoxLayout();
    auto* modes = new QGroupBox("Режим работы", page);
    auto* grid = new QGridLayout(modes);
    const char* names[5] = {"Ручной", "С промежутком времени в ", "Непрерывно",
                            "С программы регистрации", "От показаний газосумматора"};
    for (int i = 0; i < 5; ++i) {
        rbMode[i] = new QRadioButton(names[i], modes);
        rbMode[i]->setObjectName("rbMode" + QString::number(i));
    }
    // The numbers are the work modes: manual 0, time 1, continuous 2, station 3, totalizer 4.
    grid->addWidget(rbMode[0], 0, 0);
    grid->addWidget(rbMode[1], 1, 0);
    cbPeriod = list_box({"120", "150", "180"}, true, modes);
    cbPeriod->setObjectName("cbPeriod");
    cbPeriod->setMaximumWidth(80);
    grid->addWidget(cbPeriod, 1, 1);
    grid->addWidget(new QLabel("секунд", modes), 1, 2);
    grid->addWidget(rbMode[2], 2, 0);
    grid->addWidget(rbMode[3], 3, 0);
    grid->addWidget(rbMode[4], 4, 0);
    connect(cbPeriod, &QComboBox::currentTextChanged, this,
            [this] { rbMode[1]->setChecked(true); });
    left->addWidget(modes);

    cbDepthCount = list_box(numbers(0, 10), false, page);
    cbDepthCount->setObjectName("cbDepthCount");
    left->addWidget(
        row_of(page, {cbDepthCount, new QLabel("Количество разгонок для входа в режим")}));
    chkSaveAll = new QCheckBox("Сохранять все разгонки подряд в непрерывном режиме", page);
    chkScience = new QCheckBox("Сохранять разгонки для научной обработки", page);
    chkScience->setToolTip(
        "Разгонки сохраняются в папке Analiz программы Vetra по датам и времени");
    chkScience->setVisible(false);
    left->addWidget(chkSaveAll);
    left->addWidget(chkScience);
    left->addStretch(1);
    layout->addLayout(left, 3);

    auto* times = new QGroupBox("Настройка времени (сек)", page);
    auto* times_layout = new QVBoxLayout(times);
    sgTimes = new QTableWidget(0, 2, times);
    sgTimes->setObjectName("sgTimes");
    sgTimes->horizontalHeader()->setVisible(false);
    sgTimes->verticalHeader()->setVisible(false);
    sgTimes->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    sgTimes->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    sgTimes->setMinimumWidth(260);
    // A click on a label moves the cursor to its value.
    connect(sgTimes, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 0) {
            sgTimes->setCurrentCell(row, 1);
        }
    });
    connect(sgTimes, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 1 && check_timing_row(item->row())) {
            sgTimes->setFocus();
            sgTimes->setCurrentCell(item->row(), 1);
        }
    });
    times_layout->addWidget(sgTimes);
    layout->addWidget(times, 2);
    return page;
}

QWidget* TOptForm::build_gas_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* group = new QGroupBox("Характеристики газов", page);
    auto* group_layout = new QVBoxLayout(group);
    sgGazes = new QTableWidget(0, 5, group);
    sgGazes->setObjectName("sgGazes");
    sgGazes->setHorizontalHeaderLabels(
        {" Название ", "Кракт.назв.", "Нач.вых.,с", "Оконч.вых.,с", " Цвет "});
    sgGazes->verticalHeader()->setVisible(false);
    sgGazes->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    sgGazes->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(sgGazes, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == 4) {
            gas_colour_click(row);
        }
    });
    group_layout->addWidget(sgGazes);
    layout->addWidget(group, 1);
    edMinGaz = number_edit(page, 120);
    edMinGaz->setObjectName("edMinGaz");
    layout->addWidget(
        row_of(page, {new QLabel("Минимальная концентрация газа"), edMinGaz, new QLabel("%")}));
    chkCorrection = new QCheckBox("Автоматически корректировать время выхода газа", page);
    layout->addWidget(chkCorrection);
    return page;
}

QWidget* TOptForm::build_screen_page() {
    auto* page = new QWidget(this);
    auto* layout = new QGridLayout(page);
    auto* colours = new QGroupBox("Цвета", page);
    auto* colours_form = new QFormLayout(colours);
    csBackground = new widgets::ui::ColourSelector(colours);
    csCurve = new widgets::ui::ColourSelector(colours);
    csBackground->setObjectName("csBackground");
    csCurve->setObjectName("csCurve");
    csBackground->set_chooser(services_.choose_colour);
    csCurve->set_chooser(services_.choose_colour);
    seWidth = new QSpinBox(colours);
    seWidth->setRange(1, 10);
    colours_form->addRow("Фон графиков", csBackground);
    colours_form->addRow("Цвет кривой", csCurve);
    colours_form->addRow("Толщина кривой", seWidth);
    layout->addWidget(colours, 0, 0);

    auto* lines = new QGroupBox("Разлиновка", page);
    auto* lines_form = new QFormLayout(lines);
    cbHorGrid = list_box({"2", "5", "10", "15", "20"}, true, lines);
    cbVertGrid = list_box({"10", "20", "40", "50"}, true, lines);
    edScreen = number_edit(lines);
    edScreen->setObjectName("edScreen");
    lines_form->addRow("По горизонтали, сек", cbHorGrid);
    lines_form->addRow("По вертикали, шт", cbVertGrid);
    lines_form->addRow("Ширина экрана, сек", edScreen);
    layout->addWidget(lines, 0, 1);

    auto* fonts = new QGroupBox("Шрифт", page);
    auto* fonts_layout = new QGridLayout(fonts);
    cbFont = new QFontComboBox(fonts);
    cbFont->setObjectName("cbFont");
    seFontSize = new QSpinBox(fonts);
    seTableFontSize = new QSpinBox(fonts);
    seFontSize->setRange(5, 20);
    seTableFontSize->setRange(5, 20);
    seFontSize->setObjectName("seFontSize");
    seTableFontSize->setObjectName("seTableFontSize");
    fonts_layout->addWidget(new QLabel("Имя шрифта", fonts), 0, 0);
    fonts_layout->addWidget(cbFont, 0, 1);
    fonts_layout->addWidget(new QLabel("Размер шрифта", fonts), 1, 0);
    fonts_layout->addWidget(seFontSize, 1, 1, Qt::AlignLeft);
    fonts_layout->addWidget(new QLabel("Размер шрифта для таблицы", fonts), 2, 0);
    fonts_layout->addWidget(seTableFontSize, 2, 1, Qt::AlignLeft);
    lbPreview = new QLabel("Шрифт", fonts);
    lbPreview->setObjectName("lbPreview");
    lbPreview->setFrameShape(QFrame::Panel);
    lbPreview->setFrameShadow(QFrame::Sunken);
    lbPreview->setAlignment(Qt::AlignCenter);
    // Room for the largest size, so the preview never clips.
    lbPreview->setMinimumHeight(48);
    fonts_layout->addWidget(lbPreview, 3, 0, 1, 2);
    layout->addWidget(fonts, 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    connect(cbFont, &QFontComboBox::currentFontChanged, this, &TOptForm::update_preview);
    connect(seFontSize, &QSpinBox::valueChanged, this, &TOptForm::update_preview);
    connect(seWidth, &QSpinBox::valueChanged, this, &TOptForm::update_preview);
    return page;
}

QWidget* TOptForm::build_totalizer_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    chkUse = new QCheckBox("Использовать газосумматор", page);
    chkUse->setObjectName("chkUse");
    layout->addWidget(chkUse);
    cbSummPort = list_box(port_names(), true, page);
    lbSummPort = new QLabel("Имя порта", page);
    cbPrec = list_box(numbers(0, 5), true, page);
    cbPrec->setObjectName("cbPrec");
    auto* top = new QGridLayout();
    top->addWidget(lbSummPort, 0, 0);
    top->addWidget(cbSummPort, 0, 1);
    top->addWidget(new QLabel("Точность числа", page), 1, 0);
    top->addWidget(row_of(page, {cbPrec, new QLabel("знаков после запятой")}), 1, 1);
    top->setColumnStretch(2, 1);
    layout->addLayout(top);
    chkShow = new QCheckBox("Выводить показания газосумматора на экран", page);
    chkShowWin = new QCheckBox("Показать график газосумматора", page);
    layout->addWidget(chkShow);
    layout->addWidget(chkShowWin);

    gbTotalizer = new QGroupBox("Настройки газосумматора", page);
    gbTotalizer->setObjectName("gbTotalizer");
    auto* form = new QGridLayout(gbTotalizer);
    const auto field = [&](int row, const QString& label, QLineEdit*& edit, const char* name,
                           const QString& unit) {
        auto* w = new QWidget(gbTotalizer);
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        auto* caption = new QLabel(label, w);
        caption->setMinimumWidth(190);
        l->addWidget(caption);
        edit = number_edit(w);
        edit->setObjectName(name);
        l->addWidget(edit);
        l->addWidget(new QLabel(unit, w));
        l->addStretch(1);
        form->addWidget(w, row, 0);
        return w;
    };
    coeff_row_ = field(0, "Коэффицент газосумматора", edCoeff, "edCoeff", "");
    field(1, "Сдвиг нуля:", edNull, "edNull", "В.");
    velon_rows_[0] = field(2, "Сдвиг нуля, канал 2:", edNull10, "edNull10", "В.");
    velon_rows_[1] = field(3, "Диапазон канала 1:", edMax1, "edMax1", "%.");
    velon_rows_[2] = field(4, "Диапазон канала 2:", edMax10, "edMax10", "%.");
    velon_rows_[3] = field(5, "Порог переключения канала:", edPorog, "edPorog", "В.");
    btnZero = new QPushButton("Автоматическая установка сдвига нуля", gbTotalizer);
    btnZero->setObjectName("btnZero");
    btnZero->setAutoDefault(false);
    form->addWidget(btnZero, 6, 0, Qt::AlignLeft);
    connect(btnZero, &QPushButton::clicked, this, &TOptForm::start_zero_shift);
    layout->addWidget(gbTotalizer);
    // The channel-2 field is hidden for model 0 and follows the first one.
    connect(edNull, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (edNull10->isHidden()) {
            edNull10->setText(text);
        }
    });

    auto* porog = new QPushButton("Порог срабатывания от газосумматора...", page);
    porog->setAutoDefault(false);
    connect(porog, &QPushButton::clicked, this, &TOptForm::porog_click);
    layout->addWidget(porog, 0, Qt::AlignLeft);
    layout->addStretch(1);
    connect(chkUse, &QCheckBox::toggled, this, &TOptForm::use_toggled);
    return page;
}

QWidget* TOptForm::build_misc_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* link = new QGroupBox("Связь", page);
    auto* form = new QFormLayout(link);
    cbPort = list_box(port_names(), true, link);
    cbPort->setObjectName("cbPort");
    lbModel = new QLabel(link);
    lbModel->setObjectName("lbModel");
    QFont bold = lbModel->font();
    bold.setBold(true);
    lbModel->setFont(bold);
    form->addRow("Имя порта", cbPort);
    form->addRow("Тип хроматографа", lbModel);
    layout->addWidget(link);
    chkRemote = new QCheckBox("Позволить другой программе управлять режимами", page);
    layout->addWidget(chkRemote);
    layout->addStretch(1);
    return page;
}

QWidget* TOptForm::build_maker_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* adc = new QGroupBox("АЦП", page);
    auto* adc_form = new QFormLayout(adc);
    cbAdcMode = list_box({"шестнадцатиричный", "десятичный"}, false, adc);
    cbAdcMode->setObjectName("cbAdcMode");
    adc_form->addRow("Формат представления числа АЦП", cbAdcMode);
    chkShowAdc = new QCheckBox("Выводить значение АЦП на экран", adc);
    adc_form->addRow(chkShowAdc);
    layout->addWidget(adc);

    auto* gas = new QGroupBox("Газ - Разное", page);
    auto* gas_layout = new QVBoxLayout(gas);
    cbZeroSeconds = list_box(numbers(1, 6), true, gas);
    cbZeroSeconds->setObjectName("cbZeroSeconds");
    gas_layout->addWidget(
        row_of(gas, {new QLabel("Расчёт нуля в первые"), cbZeroSeconds, new QLabel("сек.")}));
    layout->addWidget(gas);

    gbVelon = new QGroupBox("Хроматограф \"Велон\"", page);
    gbVelon->setObjectName("gbVelon");
    auto* velon_layout = new QVBoxLayout(gbVelon);
    cbDose = list_box(numbers(1, 6), true, gbVelon);
    cbDose->setObjectName("cbDose");
    velon_layout->addWidget(
        row_of(gbVelon, {new QLabel("Длительность забора дозы"), cbDose, new QLabel("сек.")}));
    gbVelon->setVisible(false);
    layout->addWidget(gbVelon);

    gbModel = new QGroupBox("Уникальная возможность сменить тип хроматографа :)", page);
    auto* model_layout = new QVBoxLayout(gbModel);
    cbModelSelect =
        list_box({"ТД-5ЛК", "Велон", "Требуется перезапуск программы !!!"}, false, gbModel);
    cbModelSelect->setObjectName("cbModelSelect");
    model_layout->addWidget(cbModelSelect);
    gbModel->setVisible(false);
    layout->addWidget(gbModel);
    connect(cbModelSelect, &QComboBox::activated, this, &TOptForm::select_model);
    layout->addStretch(1);
    auto* corner = new QHBoxLayout();
    corner->addStretch(1);
    corner->addWidget(new HiddenArea(
        14, 13, [this] { show_model_selector(); }, page));
    layout->addLayout(corner);
    return page;
}

QWidget* TOptForm::build_buttons() {
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* ok = new QPushButton("OK", bar);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TOptForm::accept);
    layout->addStretch(1);
    layout->addWidget(ok);
    layout->addWidget(new HiddenArea(
        188, 33, [this] { show_manufacturer_page(); }, bar));
    auto* cancel = new QPushButton("Отмена", bar);
    auto* help = new QPushButton("Справка", bar);
    cancel->setAutoDefault(false);
    help->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (services_.show_help) {
            // The depth page has a topic of its own.
            const bool lag = lag_page_ != nullptr &&
                             PageControl1->currentWidget()->isAncestorOf(lag_page_);
            services_.show_help(lag ? "depth_lag" : "work_settings");
        }
    });
    layout->addWidget(cancel);
    layout->addWidget(help);
    return bar;
}

void TOptForm::show_manufacturer_page() {
    PageControl1->setTabVisible(5, true);
    gbVelon->setVisible(settings_.device_type == kModelVelon);
    PageControl1->setCurrentIndex(5);
}

void TOptForm::show_model_selector() {
    gbModel->setVisible(true);
}

}  // namespace vetra::settings::ui
