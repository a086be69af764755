// The capture helper started the way the program starts it, but as a member
// of the capture group runs it (uid and gid 65534, holding nothing, the
// helper carrying CAP_NET_RAW in its file capabilities), and stand-ins that
// fail.

#include "platform/CaptureHelper.h"

#include "support/CaptureHelpers.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

// A packet socket, only when the helper was started with nothing but the
// connected socket and held the capability; nothing from a helper that is
// missing, may not be run, hands nothing over, hands two over or hangs, and
// no descriptor left open.
TEST(CaptureHelper, HandsOverAPacketSocketOnlyOverTheSocketItWasStartedWith) {
    const CaptureHelpers helpers;
    if (!helpers.settable)
        GTEST_SKIP() << "needs root, setcap and a file system with extended attributes";
    const std::string dir = helpers.path().string();
    const std::string member = "exec /usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups "
                               "--inh-caps=-all /usr/bin/env -i ";
    const std::string hostile =
        "LD_PRELOAD=" + dir + "/x.so LD_LIBRARY_PATH=" + dir + " QT_PLUGIN_PATH=" + dir + " ";
    const struct {
        const char* what;
        std::string helper; // a script's line, run in the helper's place, when it starts "exec "
        bool opens;
        bool hangs = false;
    } cases[] = {
        {"a member", member + helpers.capable, true},
        {"hostile variables", member + hostile + helpers.capable, true},
        {"an argument", member + helpers.capable + " --help", false},
        {"no socket", member + helpers.capable + " </dev/null", false},
        {"no capability", member + helpers.plain, false},
        {"missing", dir + "/missing", false},
        {"not executable", "/etc/passwd", false},
        {"hands nothing over", "/bin/true", false},
        {"hands two over", QUILLMARK_TWO_DESCRIPTOR_HELPER, false},
        {"hangs", "exec /bin/sleep 600", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string helper = c.helper;
        if (helper.starts_with("exec ")) {
            helper = dir + "/script";
            std::ofstream(helper) << "#!/bin/sh\n" << c.helper << "\n";
            fs::permissions(helper, fs::perms::owner_all);
        }
        const auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
        const auto before = open();
        // One that hangs gets no time at all: it never hands anything over.
        const int fd = platform::PacketSocketFromHelper(
            helper, c.hangs ? std::chrono::milliseconds(0) : platform::kCaptureHelperLimit);
        EXPECT_EQ(fd >= 0, c.opens);
        close(fd);
        EXPECT_EQ(open(), before);
    }
}
