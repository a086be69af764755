#pragma once

// Copies of the capture helper in a temporary directory that user 65534 may
// enter: one holding CAP_NET_RAW in its file capabilities, as the package
// installs it, one without, and stand-ins that cannot run, hang, or hand
// nothing over.

#include "support/SnifferFakes.h"

#include <filesystem>
#include <fstream>
#include <string>

struct CaptureHelpers : TempDirectory {
    CaptureHelpers() {
        namespace fs = std::filesystem;
        const auto runnable =
            fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(path(), runnable);
        for (const std::string& copy : {capable, plain, unrunnable})
            fs::copy_file(QUILLMARK_CAPTURE_HELPER, copy);
        fs::permissions(unrunnable, fs::perms::owner_read | fs::perms::others_read);
        std::ofstream(hangs) << "#!/bin/sh\nexec /bin/sleep 600\n";
        fs::permissions(hangs, runnable);
        fs::create_symlink("/bin/true", silent);
        settable = std::system(("setcap cap_net_raw+ep " + capable).c_str()) == 0;
    }
    const std::string capable = path() / "capable", plain = path() / "plain",
                      unrunnable = path() / "unrunnable", hangs = path() / "hangs",
                      silent = path() / "silent";
    // False without root, setcap or a file system with extended attributes.
    bool settable = false;
};
