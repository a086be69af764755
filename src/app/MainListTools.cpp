// The find bars and context menus of the three lists, and the list options
// the user turned on, remembered between runs.

#include "Main.h"
#include "lists/ListTools.h"
#include "lists/ListView.h"
#include "ui_Main.h"

#include <QAction>
#include <QSettings>

namespace {

QSettings Settings() {
    return QSettings("Quillmark", "Quillmark");
}

} // namespace

void TForm1::ConnectListTools() {
    QAction* ipv6 =
        ListOption("Include IPv6 endpoints", "lists/includeIpv6", &TForm1::SetIncludeIpv6);
    QAction* live =
        ListOption("Refresh every 2 seconds", "lists/liveRefresh", &TForm1::SetLiveRefresh);
    QAction* traffic = ListOption("Show traffic", "lists/showTraffic", &TForm1::SetShowTraffic);
    QAction* service = ListOption("Show service", "lists/showService", &TForm1::SetShowService);
    QAction* others = ListOption("Include other network namespaces", "lists/otherNamespaces",
                                 &TForm1::SetIncludeOtherNamespaces);
    const auto modules = [this](const ListRow& row) { OpenModulesWindow(row.caption); };
    listTools_ = {
        new ListTools(*ui->ListView1, 1, "processes.csv", os_, modules, {live, traffic, service}),
        new ListTools(*ui->ListView2, 3, "listeners.csv", os_, modules,
                      {ipv6, others, live, traffic, service}),
        new ListTools(*ui->ListView3, 7, "connections.csv", os_, modules,
                      {ipv6, others, live, traffic, service}),
    };
    for (ListTools* tools : listTools_) {
        connect(tools, &ListTools::findStatusChanged, this, &TForm1::ShowFindStatus);
        connect(tools, &ListTools::processEnded, this, &TForm1::RefreshActivePage);
    }
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::ShowFindStatus);
}

// A checkable menu item whose state is kept in the settings; an option
// found on at start is applied at once.
QAction* TForm1::ListOption(const char* text, const char* key, void (TForm1::*apply)(bool)) {
    auto* option = new QAction(text, this);
    option->setCheckable(true);
    option->setChecked(Settings().value(key, false).toBool());
    connect(option, &QAction::toggled, this, [this, key, apply](bool on) {
        Settings().setValue(key, on);
        (this->*apply)(on);
    });
    if (option->isChecked())
        (this->*apply)(true);
    return option;
}

// The status bar says how many rows the find bar of the active list lets
// through, and is empty while that bar is closed.
void TForm1::ShowFindStatus() {
    const int page = ui->PageControl1->currentIndex();
    const QString status =
        page >= 0 && page < 3 ? listTools_[static_cast<size_t>(page)]->findStatus() : QString();
    if (status.isEmpty())
        ui->StatusBar1->clearMessage();
    else
        ui->StatusBar1->showMessage(status);
}
