// A capture with the dump switch on, where the dump file or its directory
// cannot be made: every record is skipped, the log lines are those of a
// capture without the fault, what stands in the way is left as it was, and
// the capture ends as any other (socket closed, panel unlocked).

#include "support/SnifferFakes.h"
#include "support/SnifferWindow.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// TCP 127.0.0.1:1025 > 127.0.0.1:80, SYN, identification 7, "hi" as data.
std::vector<uint8_t> TcpSegment() {
    return {0x45, 0, 0,   42, 0x07, 0x00, 0x40, 0, 64,   6,    0, 0, 127, 0,
            0,    1, 127, 0,  0,    1,    0x04, 1, 0x00, 0x50, 0, 0, 0,   1,
            0,    0, 0,   0,  0x50, 2,    1,    0, 0,    0,    0, 0, 'h', 'i'};
}
// UDP 127.0.0.1:1000 > 127.0.0.1:2000, identification 7, "hi".
std::vector<uint8_t> Datagram() {
    return {0x45, 0,   0, 30, 0x07, 0x00, 0x40, 0,    64,   17,   0,    0, 127, 0,   0,
            1,    127, 0, 0,  1,    0x03, 0xE8, 0x07, 0xD0, 0x00, 0x0A, 0, 0,   'h', 'i'};
}

const std::string kSeparator = "-------------------------------------------------";
const std::vector<std::string> kLines = {
    "Starting sniffer...",
    "Winsock version confirmed ...",
    "Sniffer almost setup ...",
    "TCP Packet ID:7  127.0.0.1:1025 > 127.0.0.1:80 Size: 42b TTL: 64 FLAGS: SYN ",
    kSeparator,
    "UDP Packet ID:7  127.0.0.1:1000 > 127.0.0.1:2000 Size: 30b TTL: 64",
    kSeparator,
    "Sniffer stoped.",
};

// Every entry under a directory, with a file's content after its name.
std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string text = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path());
            text += ": " + std::string(std::istreambuf_iterator<char>(in), {});
        }
        entries.push_back(text);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

TEST(SnifferFaults, ADumpThatCannotBeMadeLeavesTheCaptureWhole) {
    const struct {
        const char* fault;
        std::function<void(const fs::path& dumps)> plant;
        std::vector<std::string> tree; // the executable's directory afterwards
    } cases[] = {
        {"a file stands where the dump directory goes",
         [](const fs::path& dumps) { std::ofstream(dumps) << "not a directory"; },
         {"dumps: not a directory"}},
        {"a directory stands where the dump file goes",
         [](const fs::path& dumps) { fs::create_directories(dumps / "dump.log"); },
         {"dumps", "dumps/dump.log"}},
    };
    for (const auto& c : cases) {
        FakeCaptureApi capture;
        TempExecutableFiles files;
        FixedClock clock;
        platform::SnifferPlatform platform{capture, files, clock};
        SnifferWindow window(platform);
        c.plant(files.dumps());

        window.edit("Edit2")->setText("127.0.0.1");
        window.dumpcheck()->setChecked(true);
        window.form.Button1Click();
        capture.Feed(TcpSegment());
        capture.Feed(Datagram());
        testing::internal::CaptureStdout();
        capture.Feed(std::nullopt);
        ASSERT_TRUE(window.WaitForIdle()) << c.fault;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "recvfrom() failed.\n") << c.fault;

        EXPECT_EQ(window.lines(), kLines) << c.fault;
        EXPECT_EQ(Tree(files.dumps().parent_path()), c.tree) << c.fault;
        EXPECT_FALSE(capture.socketOpen()) << c.fault;
    }
}
