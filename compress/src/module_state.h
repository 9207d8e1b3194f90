// The one record of module-wide state: the open file and its write permission.
#pragma once

#include <cstdint>
#include <cstdio>

namespace zarni {

struct ModuleState {
    std::FILE* file = nullptr;
    bool writePermitted = false;
};

ModuleState& moduleState();

// Length of the open file; 0 when none is open. Leaves the position unchanged.
uint32_t openFileSize();

// Seeks the open file to an absolute offset (offsets are unsigned 32-bit).
bool seekOpenFile(uint32_t fileOffset);

// Cuts the open file back to `size` bytes after a growth that failed, and
// leaves it positioned there. errno keeps the reason of the failure.
bool truncateOpenFile(uint32_t size);

}  // namespace zarni
