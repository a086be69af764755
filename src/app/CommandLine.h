#pragma once

#include <optional>

// Answers --help and --version, and refuses anything else on the command
// line, before a display is needed, so scripts and ssh sessions can ask the
// program what it is. Returns the exit status when the program is to end
// here; nothing when there are no arguments and the windows are to start.
std::optional<int> AnswerCommandLine(int& argc, char** argv);
