// The options of the three lists: IPv6 endpoints in the socket lists, a live
// refresh that rebuilds the active list every two seconds without losing the
// user's place in it, and the columns that options add.

#include "Application.h"
#include "Main.h"
#include "lists/ListView.h"
#include "lists/OptionalColumns.h"
#include "lists/ProcessRows.h"
#include "lists/RowFetch.h"
#include "lists/ServiceCells.h"
#include "lists/SocketRows.h"
#include "lists/TrafficCells.h"
#include "ui_Main.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <atomic>

namespace {

constexpr int kLiveRefreshMs = 2000;
constexpr int kSniffer = 3;

// Whether two rows of a list show the same item: the same process (PID and
// start time), or the same endpoint (protocol, addresses and ports) of the
// same owning process whatever its state; several processes may share one
// endpoint (SO_REUSEPORT, UDP 0.0.0.0:5353).
bool SameItem(int page, const ListRow& a, const ListRow& b) {
    static const std::vector<int> keys[] = {{0}, {0, 1, 2}, {0, 1, 2, 3, 4, 5}};
    const auto& columns = keys[page];
    return a.startTime == b.startTime &&
           std::all_of(columns.begin(), columns.end(),
                       [&](int column) { return a.column(column) == b.column(column); });
}

} // namespace

ListView& TForm1::PageList(int page) const {
    ListView* lists[] = {ui->ListView1, ui->ListView2, ui->ListView3};
    return *lists[page];
}

// What a rebuild of the page's list reads, as a job that touches no widget;
// null for the Sniffer tab.
std::function<ListRows()> TForm1::RowBuilder(int page) const {
    std::function<ListRows()> build = OwnRowBuilder(page);
    if (!build || !showService_)
        return build;
    platform::ProcessApi& processes = os_.processes;
    return [build, &processes] {
        ListRows rows = build();
        AddServiceCells(rows, processes);
        return rows;
    };
}

// The page's own rows, and the traffic cells when they are shown.
std::function<ListRows()> TForm1::OwnRowBuilder(int page) const {
    platform::ProcessApi& processes = os_.processes;
    platform::SocketTableApi& sockets = os_.sockets;
    const bool ipv6 = includeIpv6_;
    const bool others = otherNamespaces_;
    // Shared, so a fetch still running when traffic is switched off keeps it.
    std::shared_ptr<TrafficTracker> traffic = traffic_;
    switch (page) {
    case 0:
        return [&processes, &sockets, traffic] {
            ListRows rows = BuildProcessRows(processes);
            if (traffic)
                AddProcessTraffic(rows, sockets, *traffic);
            return rows;
        };
    case 1:
        return [&sockets, &processes, ipv6, others] {
            return BuildListenerRows(sockets, processes, ipv6, others);
        };
    case 2:
        return [&sockets, &processes, ipv6, traffic, others] {
            return BuildConnectionRows(sockets, processes, ipv6, traffic.get(), others);
        };
    default:
        return nullptr;
    }
}

// A rebuild by hand shows the table order, so the user's sort is over, and
// rows a live refresh fetched before it are out of date.
void TForm1::RebuiltByHand(int page) {
    chosenSort_[static_cast<size_t>(page)].reset();
    ++rebuilds_;
}

void TForm1::SetIncludeIpv6(bool on) {
    if (on == includeIpv6_)
        return;
    includeIpv6_ = on;
    RebuildSocketList();
}

void TForm1::SetIncludeOtherNamespaces(bool on) {
    if (on == otherNamespaces_)
        return;
    otherNamespaces_ = on;
    RebuildSocketList();
}

// The rows of the active socket list change at once; the user's sort,
// selection and scroll position stay, as across a live refresh.
void TForm1::RebuildSocketList() {
    ++rebuilds_;
    const int page = ui->PageControl1->currentIndex();
    if (page == 1 || page == 2)
        ReplaceRowsKeepingPlace(page, RowBuilder(page)());
}

std::vector<ListColumn> TForm1::ColumnsOf(int page) const {
    static constexpr ListKind kinds[] = {ListKind::Processes, ListKind::Listeners,
                                         ListKind::Connections};
    const ColumnOptions options{.traffic = traffic_ != nullptr,
                                .service = showService_,
                                .liveRefresh = liveRefresh_ && liveRefresh_->isActive()};
    return WithOptionalColumns(ownColumns_[static_cast<size_t>(page)], kinds[page], options);
}

// Each list shows its columns for the options now on; the rows it holds stay
// until its next rebuild, which the active list gets at once.
void TForm1::ShowNewColumns() {
    const int active = isVisible() ? ui->PageControl1->currentIndex() : -1;
    for (int page = 0; page < kSniffer; ++page) {
        if (page == active)
            ReplaceRowsKeepingPlace(page, RowBuilder(page)(), true);
        else
            PageList(page).setColumns(ColumnsOf(page));
    }
}

// The tracker and the watch that credits closed connections to it live only
// while traffic is shown, so turning it on again starts the totals afresh.
void TForm1::SetShowTraffic(bool on) {
    if (on == (traffic_ != nullptr))
        return;
    closedWatch_.reset();
    traffic_ = on ? std::make_shared<TrafficTracker>() : nullptr;
    if (!uncounted_) {
        uncounted_ = new QLabel("Some closed connections were not counted", ui->StatusBar1);
        uncounted_->setObjectName("Uncounted");
        ui->StatusBar1->addPermanentWidget(uncounted_);
    }
    uncounted_->hide();
    if (on)
        WatchClosedConnections();
    ++rebuilds_;
    ShowNewColumns();
}

void TForm1::SetShowService(bool on) {
    if (on == showService_)
        return;
    showService_ = on;
    ++rebuilds_;
    ShowNewColumns();
}

// The watch reports from its own thread: closed sockets go straight to the
// tracker, and only the first overrun reaches the window.
void TForm1::WatchClosedConnections() {
    auto told = std::make_shared<std::atomic<bool>>(false);
    closedWatch_ = os_.sockets.WatchClosedTcp({
        .closed = [traffic = traffic_](const auto& closed) { traffic->Closed(closed); },
        .overrun =
            [this, told] {
                if (!told->exchange(true))
                    QMetaObject::invokeMethod(
                        this, [this] { uncounted_->show(); }, Qt::QueuedConnection);
            },
    });
}

void TForm1::SetLiveRefresh(bool on) {
    if (!liveRefresh_) {
        liveRefresh_ = new QTimer(this);
        liveRefresh_->setObjectName("liveRefresh");
        liveRefresh_->setInterval(kLiveRefreshMs);
        connect(liveRefresh_, &QTimer::timeout, this, &TForm1::LiveRefreshTick);
        rowFetch_ = new RowFetch(this);
    }
    if (on)
        liveRefresh_->start();
    else
        liveRefresh_->stop();
    // The rate columns say over what time they are taken.
    if (traffic_)
        for (int page = 0; page < kSniffer; ++page)
            PageList(page).setColumns(ColumnsOf(page));
}

// The rows are fetched, and sorted as the user chose, away from the window
// thread; a tick while the last fetch still runs, while the window is
// minimised or while an error is shown is passed over.
void TForm1::LiveRefreshTick() {
    const int page = ui->PageControl1->currentIndex();
    if (page >= kSniffer || isMinimized() || Application::ShowingError())
        return;
    std::function<ListRows()> fetch = RowBuilder(page);
    const std::optional<int> column = chosenSort_[static_cast<size_t>(page)];
    // A sort that throws leaves the rows as fetched: the window thread sorts
    // them again and shows the error as after a header click.
    auto sorted = std::make_shared<bool>(false);
    if (column)
        fetch = [fetch, compare = ColumnSort(page, *column), sorted] {
            ListRows rows = fetch();
            try {
                SortRows(rows, compare);
                *sorted = true;
            } catch (...) {
            }
            return rows;
        };
    rowFetch_->start(fetch, [this, page, column, sorted, rebuilds = rebuilds_](ListRows rows) {
        if (rebuilds == rebuilds_ && page == ui->PageControl1->currentIndex() &&
            liveRefresh_->isActive())
            ReplaceRowsKeepingPlace(page, std::move(rows), false, *sorted ? column : std::nullopt);
    });
}

// Rows that come sorted by the user's column need no sort here.
void TForm1::ReplaceRowsKeepingPlace(int page, ListRows rows, bool newColumns,
                                     std::optional<int> sortedBy) {
    ListView& list = PageList(page);
    const ListRow* selectedNow = list.selectedRow();
    const std::optional<ListRow> selected =
        selectedNow ? std::optional<ListRow>(*selectedNow) : std::nullopt;
    const QPoint scroll = list.scrollPosition();
    if (newColumns)
        list.setColumns(ColumnsOf(page));
    list.setRows(std::move(rows));
    if (const auto column = chosenSort_[static_cast<size_t>(page)]; column && column != sortedBy) {
        void (TForm1::*const clicks[])(int) = {&TForm1::ListView1ColumnClick,
                                               &TForm1::ListView2ColumnClick,
                                               &TForm1::ListView3ColumnClick};
        (this->*clicks[page])(*column);
    }
    if (selected)
        list.selectFirst([&](const ListRow& row) { return SameItem(page, *selected, row); });
    list.setScrollPosition(scroll);
}
