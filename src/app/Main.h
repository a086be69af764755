#pragma once

#include "lists/ListRow.h"
#include "lists/RowSort.h"
#include "lists/TrafficTracker.h"
#include "platform/Platform.h"
#include "sniffer/PacketStore.h"

#include <QEvent>
#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TForm1;
}
class ListTools;
class ListView;
class QLabel;
class QTimer;
class RowFetch;

// The main window: the three lists, the rule for when they are rebuilt, the
// Modules and About windows, and the sniffer panel.
class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    explicit TForm1(platform::Platform& os, QWidget* parent = nullptr);
    ~TForm1() override;

    void ToolButton1Click();
    void FormActivate();
    void PageControl1Change();
    void ToolButton2Click();
    void ListView1DblClick();
    void ListView2DblClick();
    void ListView3DblClick();
    void Refresh1Click();
    void Exit1Click();
    void About1Click();

    void ListView1ColumnClick(int column);
    void ListView2ColumnClick(int column);
    void ListView3ColumnClick(int column);
    int ListView1Compare(const ListRow& item1, const ListRow& item2) const;
    int ListView2Compare(const ListRow& item1, const ListRow& item2) const;
    int ListView3Compare(const ListRow& item1, const ListRow& item2) const;

    void Button1Click();
    void Button2Click();
    void FormClose();
    void Edit3KeyPress(char& key);
    void Edit1KeyPress(char& key);

    void RefreshActivePage();
    void FillProcessList();
    void FillListenerList();
    void FillConnectionList();

    void SetIncludeIpv6(bool on);            // Listeners/Connections also show IPv6; rebuilds
    void SetIncludeOtherNamespaces(bool on); // and other network namespaces' sockets
    void SetLiveRefresh(bool on);            // rebuild the active list every 2 s
    void SetShowTraffic(bool on);            // bytes and rates on Processes and Connections
    void SetShowService(bool on);            // the service or container of each row's process

    void EnableSnifferPanel();
    void ShowKernelDrops();
    void ShowLogNotice();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void ConnectHandlers();
    void ConnectSnifferPanel();
    void ConnectListTools();
    QAction* ListOption(const char* text, const char* key, void (TForm1::*apply)(bool));
    void ShowFindStatus();
    void OpenModulesWindow(const std::optional<std::string>& caption);
    void TrackActivation(QEvent::Type type);
    void SetPanelLocked(bool locked);

    // Live refresh and the IPv6 rows.
    ListView& PageList(int page) const;
    std::function<ListRows()> RowBuilder(int page) const;
    std::function<ListRows()> OwnRowBuilder(int page) const;
    void RebuiltByHand(int page);
    void RebuildSocketList();
    void LiveRefreshTick();
    void ReplaceRowsKeepingPlace(int page, ListRows rows, bool newColumns = false,
                                 std::optional<int> sortedBy = std::nullopt);
    RowCompare ColumnSort(int page, int column) const;
    std::vector<ListColumn> ColumnsOf(int page) const;
    void ShowNewColumns();
    void WatchClosedConnections();

    std::unique_ptr<Ui::TForm1> ui;
    platform::Platform& os_;
    // The packets of the latest capture, for saving; captures append to it.
    std::shared_ptr<PacketStore> packets_;
    // Where the log's lines and the captured packets are kept on disk.
    std::shared_ptr<ScratchSpace> scratch_;
    bool activatedBefore_ = false;
    bool leftForOwnWindow_ = false;

    bool includeIpv6_ = false;
    bool otherNamespaces_ = false;
    // Each list's own columns, before those its options add.
    std::array<std::vector<ListColumn>, 3> ownColumns_;
    // Set while traffic is shown; the watch, which credits closed
    // connections to it, goes first.
    std::shared_ptr<TrafficTracker> traffic_;
    std::unique_ptr<platform::ClosedTcpWatch> closedWatch_;
    QLabel* uncounted_ = nullptr;
    bool showService_ = false;
    // The column of the user's last header click per list, until a rebuild
    // by hand puts the list back in table order.
    std::array<std::optional<int>, 3> chosenSort_;
    // Counts rebuilds by hand and changes of the options, so rows fetched
    // before one are dropped.
    unsigned rebuilds_ = 0;
    QTimer* liveRefresh_ = nullptr; // made when first switched on
    RowFetch* rowFetch_ = nullptr;
    std::array<ListTools*, 3> listTools_{};
    QLabel* kernelDrops_ = nullptr;
    QTimer* dropsRefresh_ = nullptr;
    QLabel* logNotice_ = nullptr;
};
