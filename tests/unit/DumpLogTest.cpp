#include "DumpLog.h"

#include "support/SnifferFakes.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned Mode(const fs::path& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// A TCP packet from 10.0.0.2:1025 to 10.0.0.1:80 carrying "GET /" CR LF CR LF.
std::vector<uint8_t> GetPacket() {
    std::vector<uint8_t> bytes = {0x45, 0x00, 0x00, 0x2D, 0x12, 0x34, 0x40, 0x00, 0x80, 0x06,
                                  0x00, 0x00, 10,   0,    0,    2,    10,   0,    0,    1,
                                  0x04, 0x01, 0x00, 0x50, 0,    0,    0,    0,    0,    0,
                                  0,    0,    0x50, 0x18, 0x20, 0x00, 0,    0,    0,    0};
    for (const char c : std::string("GET /\r\n\r\n"))
        bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

class DumpLogTest : public ::testing::Test {
  protected:
    void Write(const std::vector<uint8_t>& packet, std::string_view protocol = "TCP") {
        writer.WriteDumpRecord(packet.data(), static_cast<int>(packet.size()), "10.0.0.2",
                               "10.0.0.1", 1025, 80, protocol);
    }
    fs::path DumpFile() const { return files.dumps() / "dump.log"; }

    TempExecutableFiles files;
    FixedClock clock;
    DumpWriter writer{files, clock};
    SetAsideNumbers numbers;
};

} // namespace

TEST_F(DumpLogTest, WritesRecordsWithCrLfAndPrintableBytesOnly) {
    PrepareDumpFile(files, numbers);
    Write(GetPacket());
    Write({0x01, 0x0A, 0x09, 0x7F, 0x80, 0xFF, 0x1F}, "Unknown to this software");
    EXPECT_EQ(ReadFile(DumpFile()), "-------------- 01/11/2026 14:03:07 ------------------- \r\n"
                                    "Protocol: TCP\r\n"
                                    "Source IP: 10.0.0.2:1025\r\n"
                                    "Destination IP: 10.0.0.1:80\r\n"
                                    "E-4@PP GET /\r\n"
                                    "\r\n"
                                    "\r\n"
                                    "----------------------------------------\r\n"
                                    "-------------- 01/11/2026 14:03:07 ------------------- \r\n"
                                    "Protocol: Unknown to this software\r\n"
                                    "Source IP: 10.0.0.2:1025\r\n"
                                    "Destination IP: 10.0.0.1:80\r\n"
                                    "\r\n"
                                    "----------------------------------------\r\n");
}

TEST_F(DumpLogTest, KeepsTheDumpToItsOwner) {
    PrepareDumpFile(files, numbers);
    Write(GetPacket());
    EXPECT_EQ(Mode(files.dumps()), 0700u);
    EXPECT_EQ(Mode(DumpFile()), 0600u);
}

TEST_F(DumpLogTest, SkipsRecordsItMustNotWrite) {
    Write(GetPacket()); // no dumps directory yet
    EXPECT_FALSE(fs::exists(files.dumps()));

    PrepareDumpFile(files, numbers);
    const fs::path target = files.dumps() / "target";
    WriteFile(target, "kept");
    fs::create_symlink(target, DumpFile());
    Write(GetPacket());
    EXPECT_EQ(ReadFile(target), "kept");
    EXPECT_TRUE(fs::is_symlink(DumpFile()));

    fs::remove(DumpFile());
    ASSERT_EQ(mkfifo(DumpFile().c_str(), 0600), 0);
    Write(GetPacket()); // returns at once instead of waiting for a reader
    EXPECT_TRUE(fs::is_fifo(DumpFile()));
}

TEST(SetAsideNumbers, DrawTheSameSequenceEveryRun) {
    SetAsideNumbers numbers;
    std::vector<uint32_t> drawn;
    for (int i = 0; i < 6; ++i)
        drawn.push_back(numbers.Next());
    EXPECT_EQ(drawn, (std::vector<uint32_t>{2149, 18204, 4730, 17848, 17400, 22371}));
}

TEST_F(DumpLogTest, PrepareCreatesTheDirectoryAndDrawsOnlyForAFile) {
    PrepareDumpFile(files, numbers);
    EXPECT_TRUE(fs::is_directory(files.dumps()));
    EXPECT_TRUE(Entries(files.dumps()).empty());

    PrepareDumpFile(files, numbers); // still no file: nothing drawn
    WriteFile(DumpFile(), "first");
    PrepareDumpFile(files, numbers);
    WriteFile(DumpFile(), "second");
    PrepareDumpFile(files, numbers);
    EXPECT_EQ(Entries(files.dumps()), (std::vector<std::string>{"dump.log18204", "dump.log2149"}));
    EXPECT_EQ(ReadFile(files.dumps() / "dump.log2149"), "first");
    EXPECT_EQ(ReadFile(files.dumps() / "dump.log18204"), "second");
}

TEST_F(DumpLogTest, PrepareLeavesTheFileInPlaceWhenTheNameIsTaken) {
    PrepareDumpFile(files, numbers);
    WriteFile(files.dumps() / "dump.log2149", "earlier run");
    WriteFile(DumpFile(), "old ");
    PrepareDumpFile(files, numbers);
    EXPECT_EQ(ReadFile(files.dumps() / "dump.log2149"), "earlier run");
    EXPECT_EQ(ReadFile(DumpFile()), "old ");

    Write({'n', 'e', 'w'});
    EXPECT_EQ(ReadFile(DumpFile()).substr(0, 4), "old ");
    PrepareDumpFile(files, numbers);
    EXPECT_EQ(Entries(files.dumps()), (std::vector<std::string>{"dump.log18204", "dump.log2149"}));
}

TEST_F(DumpLogTest, PrepareSetsASymbolicLinkAsideWithoutTouchingItsTarget) {
    PrepareDumpFile(files, numbers);
    const fs::path target = files.dumps() / "target";
    WriteFile(target, "kept");
    fs::create_symlink(target, DumpFile());
    PrepareDumpFile(files, numbers);
    EXPECT_TRUE(fs::is_symlink(files.dumps() / "dump.log2149"));
    Write(GetPacket());
    EXPECT_EQ(ReadFile(target), "kept");
    EXPECT_EQ(Mode(DumpFile()), 0600u);
}
