// The files a user saves, the list as CSV and the captured packets: the
// owner's alone from their creation on, or not saved at all.

#include "lists/ListCsv.h"
#include "sniffer/PcapSave.h"
#include "support/FailingCalls.h"
#include "support/SnifferFakes.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

// No file is created with a bit for anyone else (such a create fails here),
// and a file system that refuses the owner-only mode makes the save fail.
TEST(SavedFiles, AreTheOwnersAloneFromTheStartOrNotSaved) {
    const std::function<QString(const QString&)> saves[] = {
        [](const QString& path) { return SaveFileAtomically(path, "PID\r\n"); },
        [](const QString& path) { return WritePcapFile(path, {}); }};
    for (const bool chmodFails : {false, true})
        for (const auto& save : saves) {
            const TempDirectory directory;
            const fs::path path = directory.path() / "saved";
            std::vector<FailingCall> calls = {{SYS_openat, 3, 077, false, EACCES}};
            if (chmodFails)
                calls.push_back({SYS_fchmod, 0, 0, true, EPERM});
            QString error;
            RunWithFailingCalls(calls, [&] { error = save(QString::fromStdString(path)); });
            EXPECT_EQ(error.isEmpty(), !chmodFails) << error.toStdString();
            EXPECT_EQ(std::distance(fs::directory_iterator(directory.path()), {}), !chmodFails);
            EXPECT_EQ(fs::status(path).permissions(),
                      chmodFails ? fs::perms::unknown
                                 : fs::perms::owner_read | fs::perms::owner_write);
        }
}
