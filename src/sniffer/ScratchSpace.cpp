#include "ScratchSpace.h"

#include "platform/ScratchFile.h"

#include <algorithm>

ScratchSpace::ScratchSpace(uint64_t limitBytes, std::string directory)
    : directory_(directory.empty() ? platform::ScratchDirectory() : std::move(directory)) {
    const platform::DiskSpace space = platform::SpaceOf(directory_);
    inMemory_ = space.inMemory;
    limit_ = limitBytes != 0  ? limitBytes
             : space.size > 0 ? std::min(kMostBytes, space.size / 10)
                              : kMostBytes;
}

bool ScratchSpace::Fits(uint64_t size) const {
    if (used_ + size > limit_)
        return false;
    const platform::DiskSpace space = platform::SpaceOf(directory_);
    return space.size == 0 || space.available >= size + space.size / 100 * 15;
}
