#pragma once

// "Save captured packets as...": the most recent capture's packets written
// to a pcap file of the user's choice.

#include "PacketStore.h"

#include <QString>
#include <atomic>

class QWidget;

// How far a save has come, and whether it is to stop; shared with the
// thread that saves.
struct SaveProgress {
    std::atomic<uint64_t> bytes{0};
    std::atomic<bool> cancelled{false};
};

// Writes the snapshot's packets to path as a pcap file, readable by the
// owner only. The file appears whole or not at all: on failure or when
// cancelled nothing new is left at path. Returns why it failed, or an empty
// text. A capture held whole in one file on path's file system is given
// that name instead of being copied.
QString WritePcapFile(const QString& path, const PacketStore::Snapshot& snapshot,
                      SaveProgress* progress = nullptr);

// Asks where to save the packets held when it is called, saves them there
// while a progress dialog offers to cancel, and says why when that fails.
void SaveCapturedPackets(QWidget* parent, const PacketStore& store);
