#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "module_state.h"
#include "zarni_compress.h"

#if defined(_WIN32)
#ifndef NOMINMAX  // MinGW's C++ headers define it already
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace zarni {
namespace {

// Closes the file when the library is unloaded or the process exits, so that
// buffered writes reach the disk.
struct StateOwner {
    ModuleState state;
    ~StateOwner() {
        if (state.file) {
            std::fclose(state.file);
            state.file = nullptr;
        }
    }
};

StateOwner owner;

// The caller's 8-bit name goes to the system in the one encoding the header
// promises: on Windows the program's ANSI code page, whatever code page the C
// runtime's locale would pick; elsewhere the bytes as they are.
std::FILE* openNamedFile(const char* fileName, const char* mode) {
#if defined(_WIN32)
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, fileName, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(length)]);
    if (!wide ||
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, fileName, -1, wide.get(), length) <= 0)
        return nullptr;
    wchar_t wideMode[4] = {};
    for (int i = 0; i < 3 && mode[i]; ++i) wideMode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(wide.get(), wideMode);
#else
    return std::fopen(fileName, mode);
#endif
}

}  // namespace

ModuleState& moduleState() {
    return owner.state;
}

bool seekOpenFile(uint32_t fileOffset) {
#if defined(_WIN32)
    return _fseeki64(owner.state.file, static_cast<long long>(fileOffset), SEEK_SET) == 0;
#else
    return fseeko(owner.state.file, static_cast<off_t>(fileOffset), SEEK_SET) == 0;
#endif
}

bool truncateOpenFile(uint32_t size) {
    std::FILE* f = owner.state.file;
    const int reason = errno;
    // Whatever the stream still holds goes out (or fails) before the cut, so
    // that nothing reaches the file after it.
    std::fflush(f);
    std::clearerr(f);
#if defined(_WIN32)
    const bool cut = _chsize_s(_fileno(f), static_cast<long long>(size)) == 0;
#else
    const bool cut = ftruncate(fileno(f), static_cast<off_t>(size)) == 0;
#endif
    const bool placed = seekOpenFile(size);
    errno = reason;
    return cut && placed;
}

uint32_t openFileSize() {
    std::FILE* f = owner.state.file;
    if (!f) return 0;
    std::fflush(f);
#if defined(_WIN32)
    long long here = _ftelli64(f);
    _fseeki64(f, 0, SEEK_END);
    long long size = _ftelli64(f);
    _fseeki64(f, here, SEEK_SET);
#else
    off_t here = ftello(f);
    fseeko(f, 0, SEEK_END);
    off_t size = ftello(f);
    fseeko(f, here, SEEK_SET);
#endif
    return size < 0 ? 0 : static_cast<uint32_t>(size);
}

}  // namespace zarni

using zarni::moduleState;

extern "C" {

ZARNI_API uint32_t ZARNI_CALL ZarniVersion(void) {
    return ZARNI_VERSION_NUMBER;
}

ZARNI_API uint32_t ZARNI_CALL ZarniCloseFile(void) {
    auto& s = moduleState();
    if (!s.file) return 0;
    std::fclose(s.file);
    s.file = nullptr;
    return 1;
}

ZARNI_API uint32_t ZARNI_CALL ZarniOpenFile(const char* fileName, uint32_t fileMode) {
    ZarniCloseFile();
    if (fileMode > 2) return 0;
    auto& s = moduleState();
    s.writePermitted = fileMode != 0;
    if (!fileName) return 0;
    static const char* const modes[] = {"rb", "r+b", "w+b"};
    s.file = zarni::openNamedFile(fileName, modes[fileMode]);
    return s.file ? 1 : 0;
}

ZARNI_API uint32_t ZARNI_CALL ZarniGetFileSize(void) {
    return zarni::openFileSize();
}

ZARNI_API uint32_t ZARNI_CALL ZarniReadFile(void* destination, uint32_t size, uint32_t fileOffset,
                                            int32_t seek) {
    auto& s = moduleState();
    if (!s.file || !destination) return 0;
    if (seek != 0) zarni::seekOpenFile(fileOffset);
    // A stream that hit the end must still be able to read after a later seek.
    std::clearerr(s.file);
    std::fread(destination, 1, size, s.file);
    return 1;
}

ZARNI_API uint32_t ZARNI_CALL ZarniWriteFile(const void* source, uint32_t size, uint32_t fileOffset,
                                             int32_t seek) {
    auto& s = moduleState();
    if (!s.file || !source || !s.writePermitted) return 0;
    if (seek != 0) {
        zarni::seekOpenFile(fileOffset);
    } else {
        // C streams need a positioning call between a read and a write.
        std::fseek(s.file, 0, SEEK_CUR);
    }
    std::fwrite(source, 1, size, s.file);
    // Reads that follow need the same, so leave the stream positioned.
    std::fflush(s.file);
    return 1;
}

}  // extern "C"
