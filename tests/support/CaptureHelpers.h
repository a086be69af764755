#pragma once

// Two copies of the capture helper in a temporary directory that user 65534
// may enter: one holding CAP_NET_RAW in its file capabilities, as the package
// installs it (owner root, group 65534, mode 0750), and one without.

#include "support/SnifferFakes.h"

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

struct CaptureHelpers : TempDirectory {
    CaptureHelpers() {
        namespace fs = std::filesystem;
        fs::permissions(path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::copy_file(QUILLMARK_CAPTURE_HELPER, capable);
        fs::copy_file(QUILLMARK_CAPTURE_HELPER, plain);
        // Only group 65534 may run the copy with the capability, should a crash
        // leave it behind; the owner is set first, as a change drops the capability.
        settable = chown(capable.c_str(), 0, 65534) == 0 && chmod(capable.c_str(), 0750) == 0 &&
                   std::system(("setcap cap_net_raw+ep " + capable).c_str()) == 0;
    }
    const std::string capable = path() / "capable", plain = path() / "plain";
    // False without root, setcap or a file system with extended attributes.
    bool settable = false;
};
