// Started with the capture right, the program keeps of its environment only
// the display and language settings: no plugin or library search path.

#include "platform/PrivilegedStart.h"

#include <gtest/gtest.h>

TEST(TrustedEnvironment, KeepsTheDisplayAndLanguageOnly) {
    const std::vector<std::string> trusted = {
        "DISPLAY=:0",          "XAUTHORITY=/home/u/.Xauthority",
        "QT_QPA_PLATFORM=xcb", "LANG=de_DE.UTF-8",
        "LC_TIME=en_GB.UTF-8", "HOME=/home/u"};
    std::vector<std::string> environment = trusted;
    for (const char* untrusted :
         {"QT_PLUGIN_PATH=/tmp/evil", "QT_QPA_PLATFORM_PLUGIN_PATH=/tmp/evil",
          "LD_LIBRARY_PATH=/tmp/evil", "LIBGL_DRIVERS_PATH=/tmp/evil", "DISPLAY_X=1", "NOVALUE"})
        environment.insert(environment.begin() + 2, untrusted);
    EXPECT_EQ(platform::TrustedEnvironment(environment), trusted);
}
