// All-or-nothing file writes. New contents are built in a work file beside
// the target and renamed over it only once they are complete and on the
// disk, so the target is at every moment either its old self or the whole
// new file: a full disk, a refused write or a killed program leaves it alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvale {

enum class FileFault {
    None,
    ReadOnly,  // the file or its folder does not take writes
    NoSpace,   // the disk (or the file-size limit) is full
    Vanished,  // the file is gone
    Other,
};

struct FileResult {
    FileFault fault = FileFault::None;
    std::string reason;  // for the user: "no space left on the device", ...
    bool ok() const { return fault == FileFault::None; }
};

// The fault and its words for an errno value.
FileResult faultFromErrno(int error);

// What a file looked like when it was read, to notice changes by others.
struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const std::string& path);

// A work file that replaces its target whole, or not at all. The work file
// is removed unless commit() succeeds.
class FileReplacement {
  public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // A copy of an existing target to edit in place. A read-only target is
    // refused before anything is copied.
    FileResult beginCopy(const std::string& target);
    // An empty work file for a target that may or may not exist.
    FileResult beginEmpty(const std::string& target);

    const std::string& workPath() const { return work_; }

    // Flushes the work file to the disk, gives it the target's permission
    // bits and renames it over the target.
    FileResult commit();
    void discard();

  private:
    FileResult begin(const std::string& target, bool mustExist);

    std::string target_;
    std::string work_;
    uint32_t mode_ = 0;
};

// Writes size bytes as the whole new content of path.
FileResult writeFileAtomically(const std::string& path, const void* data, size_t size);

}  // namespace korvale
