#include "core/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace korvale {

namespace fs = std::filesystem;

namespace {

FileResult failure(FileFault fault, std::string reason) {
    return FileResult{fault, std::move(reason)};
}

FileResult lastError() {
    return faultFromErrno(errno);
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the renamed entry itself to the disk, not only the file's data.
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A link is followed, so the file it names is replaced and the link stays.
std::string resolved(const std::string& target) {
    std::error_code ec;
    const fs::path real = fs::canonical(target, ec);
    return ec ? target : real.string();
}

}  // namespace

FileResult faultFromErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return failure(FileFault::NoSpace, "no space left on the device");
        case EROFS:
        case EACCES:
        case EPERM:
            return failure(FileFault::ReadOnly, "the file or its folder is read-only");
        case ENOENT:
            return failure(FileFault::Vanished, "the file no longer exists");
        default:
            return failure(FileFault::Other, std::strerror(error));
    }
}

FileStamp fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return FileStamp{true, static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

FileReplacement::~FileReplacement() {
    discard();
}

void FileReplacement::discard() {
    if (!work_.empty()) ::unlink(work_.c_str());
    work_.clear();
}

FileResult FileReplacement::begin(const std::string& target, bool mustExist) {
    discard();
    target_ = resolved(target);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && (mustExist || errno != ENOENT)) return lastError();
    if (exists && S_ISDIR(st.st_mode))
        return failure(FileFault::Other, "it is a folder, not a file");
    // Root writes through missing permission bits; the user's intent still counts.
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0))
        return failure(FileFault::ReadOnly, "the file is read-only");
    if (exists) {
        mode_ = static_cast<uint32_t>(st.st_mode & 07777);
    } else {
        // A new file gets what the process would have created it with, not mkstemp's 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~static_cast<uint32_t>(mask);
    }

    const fs::path path(target_);
    std::string pattern =
        (path.parent_path() / ("." + path.filename().string() + ".korvale-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        FileResult why = lastError();
        // Whatever else stops a new file beside the target, it is the folder that refuses.
        if (why.fault != FileFault::NoSpace)
            why = failure(FileFault::ReadOnly, "its folder does not take new files");
        return why;
    }
    ::close(fd);
    work_ = name.data();
    return {};
}

FileResult FileReplacement::beginEmpty(const std::string& target) {
    return begin(target, false);
}

FileResult FileReplacement::beginCopy(const std::string& target) {
    FileResult result = begin(target, true);
    if (!result.ok()) return result;
    const int in = ::open(target_.c_str(), O_RDONLY);
    const int out = ::open(work_.c_str(), O_WRONLY | O_TRUNC);
    std::vector<uint8_t> buffer(1 << 16);
    bool done = in >= 0 && out >= 0;
    int error = done ? 0 : errno;
    while (done) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) done = false, error = errno;
            break;
        }
        if (!writeAll(out, buffer.data(), static_cast<size_t>(n))) done = false, error = errno;
    }
    if (in >= 0) ::close(in);
    if (out >= 0 && ::close(out) != 0 && done) done = false, error = errno;
    if (!done) {
        discard();
        return faultFromErrno(error);
    }
    return {};
}

FileResult FileReplacement::commit() {
    if (work_.empty()) return failure(FileFault::Other, "nothing to save");
    const int fd = ::open(work_.c_str(), O_RDONLY);
    bool done = fd >= 0 && ::fdatasync(fd) == 0 && ::fchmod(fd, mode_) == 0;
    int error = done ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && done) done = false, error = errno;
    if (done && ::rename(work_.c_str(), target_.c_str()) != 0) done = false, error = errno;
    if (!done) {
        discard();
        return faultFromErrno(error);
    }
    work_.clear();
    syncFolder(fs::path(target_).parent_path());
    return {};
}

FileResult writeFileAtomically(const std::string& path, const void* data, size_t size) {
    FileReplacement replacement;
    FileResult result = replacement.beginEmpty(path);
    if (!result.ok()) return result;
    const int fd = ::open(replacement.workPath().c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return lastError();
    const bool written = writeAll(fd, static_cast<const uint8_t*>(data), size);
    const int error = errno;
    if (::close(fd) != 0 && written) return lastError();
    if (!written) return faultFromErrno(error);
    return replacement.commit();
}

}  // namespace korvale
