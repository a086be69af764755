#pragma once

// "Save captured packets as...": the most recent capture's packets written
// to a pcap file of the user's choice.

#include "PacketStore.h"

#include <QString>

class QWidget;

// Writes the snapshot's packets to path as a pcap file, readable by the
// owner only. The file appears whole or not at all: on failure nothing new
// is left at path. Returns why it failed, or an empty text.
QString WritePcapFile(const QString& path, const PacketStore::Snapshot& snapshot);

// Asks where to save the packets held when it is called, saves them there,
// and says why when that fails.
void SaveCapturedPackets(QWidget* parent, const PacketStore& store);
