#pragma once

// The capture thread: opens the raw socket on the local address, receives
// one packet at a time and hands each to DecodePacket, appending its lines to
// the main window's log and telling the window with a message when it ends.

#include "DumpLog.h"
#include "PacketStore.h"
#include "SnifferSettings.h"
#include "platform/SnifferPlatform.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class SnifferLog;

// The capture thread's window message: the capture has ended.
inline constexpr int WM_SNIFFER_STOPPED = 0x8191;

// The log that PostLine appends to; the main window sets it, and sets null
// before the log is destroyed.
void SetSnifferLog(SnifferLog* log);

// The settings of the current (or last) capture; written only by SetSettings.
extern CaptureSettings SnifferSettings;

// One capture. It is created suspended, configured, then resumed once; the
// thread keeps the object alive until it has finished, so whoever started it
// may drop it at any time and nothing ever waits for the thread.
class sniffer : public std::enable_shared_from_this<sniffer> {
  public:
    // The packets that give lines are kept in packets, for saving.
    sniffer(platform::SnifferPlatform& os, std::shared_ptr<PacketStore> packets);

    void SetSettings(const std::string& Protocol, const std::string& DestinationIp,
                     const std::string& SourceIp, int32_t DestinationPort, int32_t SourcePort,
                     const std::string& LocalIp, int32_t DumpEnabled);
    // Starts the thread; call once, on an object owned by a shared_ptr.
    void Resume();

    // Appends one line to the sniffer log; the line is in the log when this
    // returns. Lines sent while there is no log are dropped. 0, or why the
    // log could not write the line to disk (it keeps it in memory then).
    static int PostLine(const char* text);

    // Asks the capture to end after the next packet, as clearing Running
    // does, and lets every IPv4 packet reach the thread again: one the
    // kernel filter would drop must still end the capture.
    void Stop();

    // Whether a capture thread has been started and has not finished yet.
    static bool AnyThreadAlive();

    // 1 while the capture may go on; 0 asks it to end after the next packet.
    std::atomic<int32_t> Running{1};
    // The packets the kernel dropped during this capture for want of room.
    std::atomic<uint64_t> KernelDrops{0};

  private:
    void Execute();
    void SetUpAndReceive();
    // Ends the capture with a line that says why; false when there is no
    // reason to end it.
    static bool EndedBy(int logError);
    void ReceiveLoop(platform::PacketSocket& socket);
    void ShareSocket(platform::PacketSocket* socket);

    platform::SnifferPlatform& os_;
    DumpWriter dumpWriter_;
    std::shared_ptr<PacketStore> packets_;
    std::mutex socketMutex_;
    platform::PacketSocket* socket_ = nullptr; // while ReceiveLoop runs
    static std::atomic<int> threadsAlive_;
};

// Ends the process at once with status while a capture thread still runs:
// it may wait in a receive for good, and nothing may wait for it, so the
// usual way out, which tears down what that thread uses, is not taken.
void ExitIfCaptureRunning(int status);
