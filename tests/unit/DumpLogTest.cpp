// The dump log read back byte for byte from a temporary directory.

#include "sniffer/DumpLog.h"

#include "support/SnifferFakes.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// Packet bytes whose printable text is "GET /" CR LF CR LF: LF, TAB and the
// other control bytes are left out.
const std::vector<uint8_t> kGet = {0x01, 0x0A, 0x09, 'G',  'E',  'T',
                                   ' ',  '/',  '\r', '\n', '\r', '\n'};

class DumpLogSetAside : public testing::TestWithParam<bool> {
  protected:
    void Write(const std::vector<uint8_t>& packet, std::string_view protocol = "TCP") {
        writer.WriteDumpRecord(packet.data(), static_cast<int>(packet.size()), "10.0.0.2",
                               "10.0.0.1", 1025, 80, protocol);
    }
    fs::path File(const std::string& name = "dump.log") const { return files.dumps() / name; }

    TempExecutableFiles files;
    FixedClock clock;
    DumpWriter writer{files, clock};
    SetAsideNumbers numbers;
};

// The record of a packet from 10.0.0.2:1025 to 10.0.0.1:80 whose printable
// text is text.
std::string Record(const std::string& protocol, const std::string& text) {
    return "-------------- 01/11/2026 14:03:07 ------------------- \r\nProtocol: " + protocol +
           "\r\nSource IP: 10.0.0.2:1025\r\nDestination IP: 10.0.0.1:80\r\n" + text +
           "\r\n----------------------------------------\r\n";
}
const std::string kGetRecord = Record("TCP", "GET /\r\n\r\n");

} // namespace

// Records of CR LF lines and printable bytes only, appended to a file only
// its owner may read, never through a symbolic link put in its place; the
// numbers a run sets files aside under are 2149, 18204, 4730, 17848, ...,
// and one already taken leaves the file in place, to be appended to; the
// same where the file system has no no-replace rename.
TEST_P(DumpLogSetAside, WritesRecordsAndSetsTheLastFileAsideUnderTheNextNumber) {
    files.noReplaceRename = GetParam();
    PrepareDumpFile(files, numbers);
    EXPECT_TRUE(fs::is_empty(files.dumps()));
    EXPECT_EQ(fs::status(files.dumps()).permissions(), fs::perms::owner_all);
    PrepareDumpFile(files, numbers); // still no file: nothing drawn
    std::ofstream(File()) << "first";
    PrepareDumpFile(files, numbers);
    std::ofstream(File()) << "second";
    PrepareDumpFile(files, numbers);
    std::ofstream(File()) << "third";
    std::ofstream(File("dump.log4730")) << "earlier run";
    PrepareDumpFile(files, numbers);
    Write(kGet);
    Write({0x0A, 0x7F, 0x80, 0xFF, 0x1F}, "Unknown to this software");
    PrepareDumpFile(files, numbers);
    Write(kGet);
    EXPECT_EQ(fs::status(File()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::rename(File(), File("last"));
    fs::create_symlink(File("dump.log2149"), File());
    Write(kGet);
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(files.dumps())) {
        std::ifstream file(entry.path(), std::ios::binary);
        entries.push_back(entry.path().filename().string() + ": " +
                          std::string(std::istreambuf_iterator<char>(file), {}));
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries,
              (std::vector<std::string>{
                  "dump.log17848: third" + kGetRecord + Record("Unknown to this software", ""),
                  "dump.log18204: second", "dump.log2149: first", "dump.log4730: earlier run",
                  "dump.log: first", "last: " + kGetRecord}));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutNoReplaceRename, DumpLogSetAside, testing::Bool());
