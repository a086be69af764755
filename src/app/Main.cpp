#include "Main.h"

#include "About.h"
#include "Modules.h"
#include "lists/Rtl.h"
#include "platform/WindowMessages.h"
#include "sniffer/Snifferthread.h"
#include "ui_Main.h"

#include <QApplication>

namespace {

const std::vector<ListColumn> kProcessColumns = {
    {"PID", 50}, {"Name", 125}, {"Memory (kb)", 80}, {"Peak Memory (kb)", 80}, {"File Name", 300}};
const std::vector<ListColumn> kListenerColumns = {
    {"PID", 50}, {"Local IP", 100}, {"Port", 50}, {"Process", 125}, {"File Name", 300}};
const std::vector<ListColumn> kConnectionColumns = {
    {"PID", 50},    {"PROTO", 50},  {"Local IP", 100}, {"L Port", 50},   {"Remote IP", 100},
    {"R Port", 50}, {"STATE", 100}, {"Process", 125},  {"FileName", 300}};

} // namespace

TForm1::TForm1(platform::Platform& os, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), os_(os) {
    ui->setupUi(this);
    move(93, 38);
    ui->ToolBar1->setFixedHeight(29);
    // Images only: a button would show its action's text as a tooltip.
    for (QAction* action : ui->ToolBar1->actions())
        ui->ToolBar1->widgetForAction(action)->setToolTip({});
    ui->StatusBar1->setFixedHeight(19);
    ui->File1->actions().at(1)->setObjectName("N1");
    ownColumns_ = {kProcessColumns, kListenerColumns, kConnectionColumns};
    ShowNewColumns();
    ui->protobox->setCurrentIndex(-1);
    ConnectHandlers();
    ConnectSnifferPanel();
    ConnectListTools();
    platform::SetMainWindow(this);
    SetSnifferLog(ui->snifflog);
}

TForm1::~TForm1() {
    SetSnifferLog(nullptr);
    platform::SetMainWindow(nullptr);
}

void TForm1::ConnectHandlers() {
    connect(ui->ToolButton1, &QAction::triggered, this, &TForm1::ToolButton1Click);
    connect(ui->ToolButton2, &QAction::triggered, this, &TForm1::ToolButton2Click);
    connect(ui->Refresh1, &QAction::triggered, this, &TForm1::Refresh1Click);
    connect(ui->Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(ui->About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
    connect(ui->ListView1, &QAbstractItemView::doubleClicked, this, &TForm1::ListView1DblClick);
    connect(ui->ListView2, &QAbstractItemView::doubleClicked, this, &TForm1::ListView2DblClick);
    connect(ui->ListView3, &QAbstractItemView::doubleClicked, this, &TForm1::ListView3DblClick);
    connect(ui->ListView1, &ListView::columnClicked, this, &TForm1::ListView1ColumnClick);
    connect(ui->ListView2, &ListView::columnClicked, this, &TForm1::ListView2ColumnClick);
    connect(ui->ListView3, &ListView::columnClicked, this, &TForm1::ListView3ColumnClick);
}

bool TForm1::event(QEvent* event) {
    switch (static_cast<int>(event->type())) {
    case WM_SNIFFER_STOPPED:
        EnableSnifferPanel();
        return true;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        TrackActivation(event->type());
        break;
    }
    return QMainWindow::event(event);
}

// The window counts as activated when it first becomes active, and when it
// becomes active again after one of our own windows (Modules, About, a
// message box) took over; coming back from another application is not an
// activation, so the user's sort and scroll position survive it.
void TForm1::TrackActivation(QEvent::Type type) {
    if (type == QEvent::WindowDeactivate) {
        leftForOwnWindow_ =
            QApplication::activeWindow() != nullptr && QApplication::activeWindow() != this;
        return;
    }
    const bool activation = !activatedBefore_ || leftForOwnWindow_;
    activatedBefore_ = true;
    leftForOwnWindow_ = false;
    if (activation)
        FormActivate();
}

void TForm1::ToolButton1Click() {
    RefreshActivePage();
}
void TForm1::FormActivate() {
    RefreshActivePage();
}
void TForm1::PageControl1Change() {
    RefreshActivePage();
}
void TForm1::Refresh1Click() {
    RefreshActivePage();
}
void TForm1::ToolButton2Click() {
    close();
}
void TForm1::Exit1Click() {
    close();
}

void TForm1::RefreshActivePage() {
    switch (ui->PageControl1->currentIndex()) {
    case 0:
        FillProcessList();
        break;
    case 1:
        FillListenerList();
        break;
    case 2:
        FillConnectionList();
        break;
    default:
        break;
    }
}

void TForm1::ListView1DblClick() {
    OpenModulesWindow(ui->ListView1->selectedCaption());
}
void TForm1::ListView2DblClick() {
    OpenModulesWindow(ui->ListView2->selectedCaption());
}
void TForm1::ListView3DblClick() {
    OpenModulesWindow(ui->ListView3->selectedCaption());
}

void TForm1::OpenModulesWindow(const std::optional<std::string>& caption) {
    if (!caption)
        return;
    TForm2 window(this);
    window.setWindowTitle(QString::fromLocal8Bit("Modules in use of PID " + *caption));
    FillModuleList(window, StrToInt(*caption), os_.processes);
    window.exec();
}

void TForm1::About1Click() {
    TForm3 window(this);
    window.exec();
}

// The last drop figure stays until the next Start.
void TForm1::EnableSnifferPanel() {
    SetPanelLocked(false);
    dropsRefresh_->stop();
    ShowKernelDrops();
}

// The eight settings controls always change together; Stop takes the opposite state.
void TForm1::SetPanelLocked(bool locked) {
    const std::initializer_list<QWidget*> settings = {ui->Edit1,    ui->Edit2,  ui->Edit3,
                                                      ui->Edit4,    ui->Edit5,  ui->dumpcheck,
                                                      ui->protobox, ui->Button1};
    for (QWidget* control : settings)
        control->setEnabled(!locked);
    ui->Button2->setEnabled(locked);
}
