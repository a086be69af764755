#include "CgroupFile.h"

#include <algorithm>

namespace platform {

CgroupFilePaths ParseCgroupFile(std::string_view text) {
    CgroupFilePaths paths;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const size_t first = line.find(':');
        const size_t second = line.find(':', first == std::string_view::npos ? 0 : first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos)
            continue;
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (line.substr(0, first) == "0" && controllers.empty())
            paths.v2 = path;
        else if (controllers == "name=systemd")
            paths.systemd = path;
        else if (!paths.longest || path.size() > paths.longest->size())
            paths.longest = path;
    }
    return paths;
}

} // namespace platform
