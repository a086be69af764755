#pragma once

// Two copies of the capture helper in a temporary directory that user 65534
// may enter: one holding CAP_NET_RAW in its file capabilities, as the package
// installs it, and one without.

#include "support/SnifferFakes.h"

#include <filesystem>
#include <string>

struct CaptureHelpers : TempDirectory {
    CaptureHelpers() {
        namespace fs = std::filesystem;
        fs::permissions(path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::copy_file(QUILLMARK_CAPTURE_HELPER, capable);
        fs::copy_file(QUILLMARK_CAPTURE_HELPER, plain);
        settable = std::system(("setcap cap_net_raw+ep " + capable).c_str()) == 0;
    }
    const std::string capable = path() / "capable", plain = path() / "plain";
    // False without root, setcap or a file system with extended attributes.
    bool settable = false;
};
