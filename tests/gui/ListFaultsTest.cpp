// A rebuild whose table fetch fails after one that worked: the list keeps
// nothing of the earlier rows, only what the fetches that worked gave.

#include "ListView.h"
#include "Main.h"
#include "support/FakePlatform.h"

#include <QAction>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

// The PROTO column of Connections.
Texts Protocols(const ListView& list) {
    Texts protocols;
    for (const auto& row : list.rows())
        protocols.push_back(row.column(1));
    return protocols;
}

} // namespace

TEST(ListFaults, AFailedFetchLeavesNoRowOfTheRebuildBefore) {
    const struct {
        const char* fault;
        bool tcpFails;
        bool udpFails;
        size_t listeners;
        Texts connections;
    } cases[] = {
        {"the TCP fetch fails", true, false, 0, {"UDP"}},
        {"the UDP fetch fails", false, true, 1, {"TCP", "TCP"}},
        {"both fetches fail", true, true, 0, {}},
    };
    for (const auto& c : cases) {
        FakePlatform fake;
        fake.processes.add(7, Running("/usr/sbin/sshd"));
        const std::vector<platform::MibTcpRowOwnerPid> tcp = {
            {2, 0, Port(22), 0, 0, 7}, {5, Stored(127, 0, 0, 1), Port(22), 0, Port(4000), 7}};
        fake.sockets.tcp = tcp;
        fake.sockets.udp = std::vector<platform::MibUdpRowOwnerPid>{{0, Port(53), 7}};
        TForm1 form(fake.os);
        auto& tabs = *form.findChild<QTabWidget*>("PageControl1");
        auto& refresh = *form.findChild<QAction*>("Refresh1");
        const auto& listeners = *form.findChild<ListView*>("ListView2");
        const auto& connections = *form.findChild<ListView*>("ListView3");
        tabs.setCurrentIndex(1);
        tabs.setCurrentIndex(2);
        ASSERT_EQ(listeners.rows().size(), 1u);
        ASSERT_EQ(Protocols(connections), (Texts{"TCP", "TCP", "UDP"}));

        if (c.tcpFails)
            fake.sockets.tcp.reset();
        if (c.udpFails)
            fake.sockets.udp.reset();
        refresh.trigger();
        tabs.setCurrentIndex(1);
        EXPECT_EQ(listeners.rows().size(), c.listeners) << c.fault;
        EXPECT_EQ(Protocols(connections), c.connections) << c.fault;
        EXPECT_EQ(fake.processes.openHandles, 0) << c.fault;
    }
}
