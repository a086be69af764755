#include "ServiceCells.h"

#include "CgroupService.h"

#include <charconv>
#include <unordered_map>

void AddServiceCells(ListRows& rows, platform::ProcessApi& processes) {
    std::unordered_map<std::string, std::string> paths;
    for (ListRow& row : rows) {
        auto [known, added] = paths.try_emplace(row.caption);
        uint32_t pid = 0;
        std::from_chars(row.caption.data(), row.caption.data() + row.caption.size(), pid);
        if (added && pid != 0)
            if (const auto process = processes.OpenProcess(pid))
                known->second = CgroupPath(process->ReadCgroup().value_or(""));
        row.subItems.push_back(known->second);
    }
}
