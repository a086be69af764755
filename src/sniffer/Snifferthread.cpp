#include "Snifferthread.h"

#include "CaptureFilter.h"
#include "PacketDecoder.h"
#include "SnifferLog.h"
#include "platform/WindowMessages.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>
#include <thread>

CaptureSettings SnifferSettings;

std::atomic<int> sniffer::threadsAlive_{0};

namespace {

// Held while a line is appended, so the log cannot go away meanwhile.
std::mutex logMutex;
SnifferLog* sniffLog = nullptr;

constexpr int kBufferSize = 65526;
// One less than the buffer, so the byte after the longest packet is zero.
constexpr int kReceiveLength = 65525;

// Where the decoder's lines and records go during a capture.
class CaptureOutput : public PacketOutput {
  public:
    explicit CaptureOutput(DumpWriter& dump) : dump_(dump) {}
    void PostLine(const char* text) override {
        if (const int error = sniffer::PostLine(text))
            logError = error;
    }
    int logError = 0; // the first line the log could not write
    void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol) override {
        dump_.WriteDumpRecord(packet, n, sourceIp, destinationIp, sourcePort, destinationPort,
                              protocol);
    }

  private:
    DumpWriter& dump_;
};

// Out of memory, even the line may not be had.
void PostLineSafely(const char* text) {
    try {
        sniffer::PostLine(text);
    } catch (...) {
        std::fputs(text, stderr);
    }
}

void Diagnose(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

} // namespace

sniffer::sniffer(platform::SnifferPlatform& os, std::shared_ptr<PacketStore> packets)
    : os_(os), dumpWriter_(os.files, os.clock), packets_(std::move(packets)) {}

void sniffer::SetSettings(const std::string& Protocol, const std::string& DestinationIp,
                          const std::string& SourceIp, int32_t DestinationPort, int32_t SourcePort,
                          const std::string& LocalIp, int32_t DumpEnabled) {
    SnifferSettings = {Protocol,        DestinationIp, SourceIp,   LocalIp,
                       DestinationPort, SourcePort,    DumpEnabled};
}

// A thread that cannot be had (std::system_error) is not counted as alive.
void sniffer::Resume() {
    ++threadsAlive_;
    try {
        std::thread([self = shared_from_this()]() mutable {
            pthread_setname_np(pthread_self(), "capture"); // as top -H and the benchmarks show it
            self->Execute();
            self.reset();
            --threadsAlive_;
        }).detach();
    } catch (...) {
        --threadsAlive_;
        throw;
    }
}

void SetSnifferLog(SnifferLog* log) {
    std::lock_guard lock(logMutex);
    sniffLog = log;
}

// The log's own lock orders the line among those of every other thread: the
// Stop line falls where Stop was pressed. Waiting for the window instead, for
// every line, limited a capture to well under 100,000 lines a second.
int sniffer::PostLine(const char* text) {
    std::lock_guard lock(logMutex);
    return sniffLog ? sniffLog->appendLine(text ? text : "") : 0;
}

// The log keeps in memory what it could not write, so the capture ends
// before it fills memory instead.
bool sniffer::EndedBy(int logError) {
    if (logError == 0)
        return false;
    PostLine(("The log could not be written: " + std::string(std::strerror(logError)) +
              ". Capture stopped.")
                 .c_str());
    return true;
}

void sniffer::Stop() {
    Running = 0;
    std::lock_guard lock(socketMutex_);
    if (socket_)
        socket_->ReplaceFilter(Ipv4FilterProgram());
}

bool sniffer::AnyThreadAlive() {
    return threadsAlive_ > 0;
}

void ExitIfCaptureRunning(int status) {
    if (!sniffer::AnyThreadAlive())
        return;
    std::fflush(nullptr);
    std::_Exit(status);
}

// The window is told that the capture ended however it ended, so the panel
// never stays locked after a failed set-up or a failure no one foresaw; the
// thread itself never ends the program.
void sniffer::Execute() {
    try {
        SetUpAndReceive();
    } catch (const std::exception& failure) {
        PostLineSafely(
            ("The capture failed: " + std::string(failure.what()) + ". Capture stopped.").c_str());
    } catch (...) {
        PostLineSafely("The capture failed. Capture stopped.");
    }
    platform::SendMessageA(WM_SNIFFER_STOPPED, 0, 0);
}

// The socket is closed on every way out, before the window hears of the end.
void sniffer::SetUpAndReceive() {
    if (EndedBy(PostLine("Starting sniffer...")))
        return;
    if (os_.capture.WSAStartup(0x0202) != 0) {
        PostLine("Failed....");
        return;
    }
    PostLine("Winsock version confirmed ...");
    const std::unique_ptr<platform::PacketSocket> socket = os_.capture.OpenRawSocket();
    if (!socket) {
        PostLine("Failed to create Raw socket for sniffing.BytesReturned..");
        return;
    }
    if (!socket->Bind(inet_addr(SnifferSettings.LocalIp.c_str()))) {
        PostLine("Failed setup sniffer on local ip, Is it a valid ip ?");
        return;
    }
    if (!socket->ReceiveAll(CaptureFilterProgram(SnifferSettings))) {
        PostLine("something went wrong. sorry!");
        return;
    }
    if (!EndedBy(PostLine("Sniffer almost setup ...")))
        ReceiveLoop(*socket);
}

// Lets Stop reach the socket the loop receives on. Either Stop finds it
// here, or this sees Running cleared by a Stop that came first.
void sniffer::ShareSocket(platform::PacketSocket* socket) {
    std::lock_guard lock(socketMutex_);
    socket_ = socket;
    if (socket && Running != 1)
        socket->ReplaceFilter(Ipv4FilterProgram());
}

// Running is looked at only after a packet, so the packet that arrives after
// a stop request is still decoded.
void sniffer::ReceiveLoop(platform::PacketSocket& socket) {
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBufferSize]());
    // exit() would run static destructors under the running window thread;
    // the diagnostic is flushed, and the process ends at once.
    if (!buffer) {
        Diagnose("malloc() failed.\n");
        std::_Exit(-1);
    }
    CaptureOutput output(dumpWriter_);
    packets_->StartCapture();
    ShareSocket(&socket);
    // Stop must never reach the socket once it is gone, however this ends.
    struct Unshare {
        sniffer& capture;
        ~Unshare() { capture.ShareSocket(nullptr); }
    } unshare{*this};
    int n = 0;
    timespec captured{};
    do {
        // Only the last packet's bytes can be non-zero; clearing them keeps
        // every byte past the next packet at zero.
        std::memset(buffer.get(), 0, static_cast<size_t>(n));
        n = socket.Receive(buffer.get(), kReceiveLength, captured);
        KernelDrops.store(socket.Drops(), std::memory_order_relaxed);
        if (n <= 0)
            Diagnose("recvfrom() failed.\n");
        else if (DecodePacket(buffer.get(), n, SnifferSettings, output))
            if (const int error =
                    packets_->Append(buffer.get(), static_cast<size_t>(n),
                                     {captured.tv_sec, static_cast<uint32_t>(captured.tv_nsec)}))
                output.logError = output.logError ? output.logError : error;
    } while (n > 0 && Running == 1 && output.logError == 0);
    // A capture that ends mid-block has drops no wait has counted yet.
    KernelDrops.store(socket.CountDrops(), std::memory_order_relaxed);
    packets_->EndCapture();
    if (!EndedBy(output.logError))
        PostLine("Sniffer stoped.");
}
