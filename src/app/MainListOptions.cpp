// The options of the three lists: IPv6 endpoints in the socket lists, and a
// live refresh that rebuilds the active list every two seconds without losing
// the user's place in it.

#include "Application.h"
#include "Main.h"
#include "lists/ListView.h"
#include "lists/ProcessRows.h"
#include "lists/RowFetch.h"
#include "lists/SocketRows.h"
#include "ui_Main.h"

#include <QTimer>
#include <algorithm>

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

ListView& TForm1::PageList(int page) {
    ListView* lists[] = {ui->ListView1, ui->ListView2, ui->ListView3};
    return *lists[page];
}

// What a rebuild of the page's list reads, as a job that touches no widget;
// null for the Sniffer tab.
std::function<ListRows()> TForm1::RowBuilder(int page) const {
    platform::ProcessApi& processes = os_.processes;
    platform::SocketTableApi& sockets = os_.sockets;
    const bool ipv6 = includeIpv6_;
    switch (page) {
    case 0:
        return [&processes] { return BuildProcessRows(processes); };
    case 1:
        return [&sockets, &processes, ipv6] { return BuildListenerRows(sockets, processes, ipv6); };
    case 2:
        return
            [&sockets, &processes, ipv6] { return BuildConnectionRows(sockets, processes, ipv6); };
    default:
        return nullptr;
    }
}

// A rebuild by hand shows the table order, so the user's sort is over, and
// rows a live refresh fetched before it are out of date.
void TForm1::RebuiltByHand(int page) {
    chosenSort_[static_cast<size_t>(page)].reset();
    ++handRebuilds_;
}

// The rows of the active socket list change at once; the user's sort,
// selection and scroll position stay, as across a live refresh.
void TForm1::SetIncludeIpv6(bool on) {
    if (on == includeIpv6_)
        return;
    includeIpv6_ = on;
    ++handRebuilds_;
    const int page = ui->PageControl1->currentIndex();
    if (page == 1 || page == 2)
        ReplaceRowsKeepingPlace(page, RowBuilder(page)());
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
}

// The rows are fetched away from the window thread; a tick while the last
// fetch still runs, while the window is minimised or while an error is
// shown is passed over.
void TForm1::LiveRefreshTick() {
    const int page = ui->PageControl1->currentIndex();
    if (page >= kSniffer || isMinimized() || Application::ShowingError())
        return;
    const unsigned handRebuilds = handRebuilds_;
    rowFetch_->start(RowBuilder(page), [this, page, handRebuilds](ListRows rows) {
        if (handRebuilds == handRebuilds_ && page == ui->PageControl1->currentIndex() &&
            liveRefresh_->isActive())
            ReplaceRowsKeepingPlace(page, std::move(rows));
    });
}

void TForm1::ReplaceRowsKeepingPlace(int page, ListRows rows) {
    ListView& list = PageList(page);
    const ListRow* selectedNow = list.selectedRow();
    const std::optional<ListRow> selected =
        selectedNow ? std::optional<ListRow>(*selectedNow) : std::nullopt;
    const QPoint scroll = list.scrollPosition();
    list.setRows(std::move(rows));
    if (const auto column = chosenSort_[static_cast<size_t>(page)]) {
        void (TForm1::*const clicks[])(int) = {&TForm1::ListView1ColumnClick,
                                               &TForm1::ListView2ColumnClick,
                                               &TForm1::ListView3ColumnClick};
        (this->*clicks[page])(*column);
    }
    if (selected)
        list.selectFirst([&](const ListRow& row) { return SameItem(page, *selected, row); });
    list.setScrollPosition(scroll);
}
