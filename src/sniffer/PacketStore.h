#pragma once

// The packets of the most recent capture that produced lines, kept on disk
// as pcap records so they can be saved as a pcap file. The capture thread
// appends while the window may be saving: a snapshot holds the files its
// records lie in, so they stay readable even once let go. Within the disk
// limit the oldest packets go first, and are counted.

#include "PcapFormat.h"
#include "ScratchChain.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class PacketStore {
  public:
    // Without a space, the first packet makes one with the default limit.
    explicit PacketStore(std::shared_ptr<ScratchSpace> space = nullptr, uint64_t segmentBytes = 0);

    // A capture begins; its packets replace the last capture's as soon as it
    // has one.
    void StartCapture();
    // One packet of the current capture, with the time it was captured. It
    // is kept either way: 0, or why it could not be written to disk.
    int Append(const uint8_t* packet, size_t size, CaptureTime time);
    // The current capture has ended: its files are written no more.
    void EndCapture();

    // Records at offset of file, or in bytes when they could not be
    // written to disk.
    struct Piece {
        std::shared_ptr<platform::ScratchFile> file;
        uint64_t offset = 0;
        uint64_t size = 0;
        std::string bytes;
    };
    struct Snapshot {
        std::vector<Piece> records; // pcap records, oldest first
        uint64_t bytes = 0;         // the records'
        uint64_t packets = 0;       // the records' packets
        uint64_t captured = 0;      // the capture's packets, including those let go
        // The file that holds the header and every record, when the capture
        // has ended with them all in that one file.
        std::shared_ptr<platform::ScratchFile> whole;
    };
    // The most recent capture that has packets; empty when there is none.
    Snapshot Latest() const;

  private:
    struct Capture {
        std::unique_ptr<ScratchChain> chain;
        uint64_t captured = 0;
        bool ended = false;
    };

    mutable std::mutex mutex_;
    std::shared_ptr<ScratchSpace> space_;
    const uint64_t segmentBytes_;
    std::shared_ptr<Capture> current_;
    std::shared_ptr<Capture> latest_; // the last capture that had a packet
    std::vector<uint8_t> record_;
};
