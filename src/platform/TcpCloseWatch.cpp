#include "TcpCloseWatch.h"

#include "SockDiag.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/sock_diag.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// At most this many closed sockets are read before they are reported, so a
// flood is handed on in pieces rather than held back.
constexpr size_t kBatch = 4096;

class LinuxTcpCloseWatch : public ClosedTcpWatch {
  public:
    LinuxTcpCloseWatch(sockdiag::SockDiagSocket socket, int stop, ClosedTcpReport report)
        : socket_(std::move(socket)), stop_(stop), report_(std::move(report)),
          thread_([this] { Run(); }) {}

    ~LinuxTcpCloseWatch() override {
        const uint64_t one = 1;
        while (write(stop_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
        close(stop_);
    }

  private:
    void Run() {
        pollfd waits[] = {{socket_.Fd(), POLLIN, 0}, {stop_, POLLIN, 0}};
        for (;;) {
            if (poll(waits, 2, -1) < 0 && errno != EINTR)
                return;
            if (waits[1].revents || (waits[0].revents && !Drain()))
                return;
        }
    }

    // Reads what is queued; false when the socket failed for good. The
    // kernel drops what did not fit and says so once with ENOBUFS.
    bool Drain() {
        std::vector<ClosedTcpSocket> closed;
        bool healthy = true;
        for (;;) {
            const auto datagram = socket_.Receive();
            if (!datagram && errno == ENOBUFS) {
                report_.overrun();
                continue;
            }
            if (!datagram) {
                healthy = errno == EAGAIN;
                break;
            }
            for (const auto& entry : sockdiag::ReadBroadcast(*datagram))
                if (entry.bytes)
                    closed.push_back({entry.cookie, *entry.bytes});
            if (closed.size() >= kBatch) {
                report_.closed(closed);
                closed.clear();
            }
        }
        if (!closed.empty())
            report_.closed(closed);
        return healthy;
    }

    sockdiag::SockDiagSocket socket_;
    int stop_;
    ClosedTcpReport report_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<ClosedTcpWatch> WatchClosedTcpSockets(ClosedTcpReport report) {
    auto socket = sockdiag::SockDiagSocket::Open();
    if (!socket || !socket->JoinGroup(SKNLGRP_INET_TCP_DESTROY) ||
        !socket->JoinGroup(SKNLGRP_INET6_TCP_DESTROY))
        return nullptr;
    const int flags = fcntl(socket->Fd(), F_GETFL);
    const int stop = eventfd(0, EFD_CLOEXEC);
    if (flags < 0 || fcntl(socket->Fd(), F_SETFL, flags | O_NONBLOCK) != 0 || stop < 0) {
        if (stop >= 0)
            close(stop);
        return nullptr;
    }
    return std::make_unique<LinuxTcpCloseWatch>(std::move(*socket), stop, std::move(report));
}

} // namespace platform
