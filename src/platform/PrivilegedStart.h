#pragma once

// A run with the capture right granted through file capabilities must not
// let the user steer what code it loads: Qt takes plugin paths from the
// environment and the command line, and graphics libraries take driver
// paths from the environment.

#include <string>
#include <vector>

namespace platform {

// The environment entries ("NAME=value") a privileged run keeps: what it
// needs to reach the display and to speak the user's language.
std::vector<std::string> TrustedEnvironment(const std::vector<std::string>& environment);

// When the kernel marked this run as privileged (AT_SECURE), replaces the
// environment with its trusted part and drops every argument but the first.
void DropUntrustedInputsIfPrivileged(int& argc, char** argv);

} // namespace platform
