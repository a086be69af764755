#include "PrivilegedStart.h"

#include <cstdlib>
#include <sys/auxv.h>
#include <unistd.h>

namespace platform {

namespace {

bool Trusted(const std::string& entry) {
    static const char* const kNames[] = {
        "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR", "HOME", "USER", "LOGNAME",
        "LANG",    "LANGUAGE",        "TZ",         "QT_QPA_PLATFORM"};
    const std::string name = entry.substr(0, entry.find('='));
    if (name.size() == entry.size())
        return false;
    if (name.rfind("LC_", 0) == 0)
        return true;
    for (const char* trusted : kNames)
        if (name == trusted)
            return true;
    return false;
}

} // namespace

std::vector<std::string> TrustedEnvironment(const std::vector<std::string>& environment) {
    std::vector<std::string> kept;
    for (const auto& entry : environment)
        if (Trusted(entry))
            kept.push_back(entry);
    return kept;
}

void DropUntrustedInputsIfPrivileged(int& argc, char** argv) {
    if (getauxval(AT_SECURE) == 0)
        return;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    clearenv();
    for (const auto& entry : TrustedEnvironment(environment)) {
        const size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    argc = argc > 0 ? 1 : 0;
    if (argc == 1)
        argv[1] = nullptr;
}

} // namespace platform
