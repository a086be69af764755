#include "platform/PrivilegedStart.h"

#include <gtest/gtest.h>

using platform::TrustedEnvironment;

TEST(TrustedEnvironment, KeepsTheDisplayAndLanguageOnly) {
    const std::vector<std::string> environment = {"DISPLAY=:0",
                                                  "XAUTHORITY=/home/u/.Xauthority",
                                                  "QT_PLUGIN_PATH=/tmp/evil",
                                                  "QT_QPA_PLATFORM_PLUGIN_PATH=/tmp/evil",
                                                  "QT_QPA_PLATFORM=xcb",
                                                  "LD_LIBRARY_PATH=/tmp/evil",
                                                  "LIBGL_DRIVERS_PATH=/tmp/evil",
                                                  "LANG=de_DE.UTF-8",
                                                  "LC_TIME=en_GB.UTF-8",
                                                  "DISPLAY_X=1",
                                                  "HOME=/home/u",
                                                  "NOVALUE"};
    EXPECT_EQ(TrustedEnvironment(environment),
              (std::vector<std::string>{"DISPLAY=:0", "XAUTHORITY=/home/u/.Xauthority",
                                        "QT_QPA_PLATFORM=xcb", "LANG=de_DE.UTF-8",
                                        "LC_TIME=en_GB.UTF-8", "HOME=/home/u"}));
}
