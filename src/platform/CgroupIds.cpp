#include "CgroupIds.h"

#include <vector>

namespace platform {

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size()) {
        const size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// mountinfo writes a space, tab, newline or backslash in a path as \ and
// three octal digits.
std::string Unescape(std::string_view field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const std::string_view digits = field.substr(i + 1, 3);
        if (field[i] == '\\' && digits.size() == 3 &&
            digits.find_first_not_of("01234567") == std::string_view::npos) {
            text += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                      (digits[2] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

} // namespace

std::optional<Cgroup2Mount> FindCgroup2Mount(std::string_view mountinfo) {
    while (!mountinfo.empty()) {
        const size_t end = std::min(mountinfo.find('\n'), mountinfo.size());
        const auto fields = Fields(mountinfo.substr(0, end));
        mountinfo.remove_prefix(std::min(end + 1, mountinfo.size()));
        // The optional fields end at a lone "-", followed by the type.
        for (size_t i = 6; i + 1 < fields.size(); ++i)
            if (fields[i] == "-") {
                if (fields[i + 1] == "cgroup2")
                    return Cgroup2Mount{Unescape(fields[4]), Unescape(fields[3])};
                break;
            }
    }
    return std::nullopt;
}

std::optional<std::string> CgroupPaths::PathOf(uint64_t id) {
    const std::lock_guard lock(mutex_);
    if (missing_.contains(id))
        return std::nullopt;
    auto found = paths_.find(id);
    if (found == paths_.end()) {
        paths_ = read_();
        found = paths_.find(id);
    }
    if (found != paths_.end())
        return found->second;
    missing_.insert(id);
    return std::nullopt;
}

} // namespace platform
