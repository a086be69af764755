#pragma once

// The dump log: dumps/dump.log beside the executable, one record of
// printable packet bytes per dumped packet, and the setting aside of the last
// capture's file when a new capture starts.

#include "platform/FileSystem.h"
#include "platform/LocalClock.h"

#include <cstdint>
#include <string>
#include <string_view>

// The numbers that name set-aside dump files. The seed never changes, so
// every run draws the same sequence: 2149, 18204, 4730, ...
class SetAsideNumbers {
  public:
    uint32_t Next();

  private:
    uint64_t state_ = 22695478;
};

std::string DumpFileName(platform::FileSystem& files);

// Creates the dump directory when missing and sets an existing dump file
// aside as dump.log<N>; failures leave things as they are, and the next
// records are then appended to the old file.
void PrepareDumpFile(platform::FileSystem& files, SetAsideNumbers& numbers);

class DumpWriter {
  public:
    DumpWriter(platform::FileSystem& files, platform::LocalClock& clock)
        : files_(files), clock_(clock) {}

    // Appends one record; a record that cannot be written is dropped.
    void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol);

  private:
    platform::FileSystem& files_;
    platform::LocalClock& clock_;
    std::string record_; // reused, so records after the first need no new buffer
};
