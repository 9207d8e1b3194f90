#include "core/zarni_binding.h"

#include <filesystem>
#include <map>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ZARNI_CALL __stdcall
#else
#define ZARNI_CALL
#endif

namespace korvale {

namespace {

std::filesystem::path executableFolder() {
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
#endif
}

void* openLibrary(const std::string& path, std::string* why) {
#if defined(_WIN32)
    void* h = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!h && why) *why = "error " + std::to_string(GetLastError());
    return h;
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && why) *why = dlerror();
    return h;
#endif
}

}  // namespace

const char* ZarniBinding::libraryFileName() {
#if defined(_WIN32)
    return "zarni compress.dll";
#elif defined(__APPLE__)
    return "libzarnicompress.dylib";
#else
    return "libzarnicompress.so";
#endif
}

ZarniBinding& ZarniBinding::instance() {
    static ZarniBinding binding;
    return binding;
}

ZarniBinding::ZarniBinding(std::string explicitPath) : explicitPath_(std::move(explicitPath)) {}

// The library stays loaded to the end of the process, which closes its open file.
ZarniBinding::~ZarniBinding() = default;

bool ZarniBinding::load(std::string* error) {
    if (handle_) return true;
    std::string why;
    if (!explicitPath_.empty()) {
        handle_ = openLibrary(explicitPath_, &why);
    } else {
        auto beside = executableFolder() / libraryFileName();
        if (std::filesystem::exists(beside)) handle_ = openLibrary(beside.string(), &why);
        if (!handle_) handle_ = openLibrary(libraryFileName(), &why);
    }
    if (!handle_) {
        loadError_ = std::string("The library \"") + libraryFileName() +
                     "\" could not be loaded (" + why + ").";
        if (error) *error = loadError_;
        return false;
    }
    return true;
}

void* ZarniBinding::symbol(const char* name) {
    auto found = symbols_.find(name);
    if (found != symbols_.end()) return found->second;
    if (!load(nullptr)) return nullptr;
#if defined(_WIN32)
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    void* address = dlsym(handle_, name);
#endif
    if (address) symbols_.emplace(name, address);
    return address;
}

bool ZarniBinding::require(std::initializer_list<const char*> exports, std::string* error) {
    if (!load(error)) return false;
    for (const char* name : exports) {
        if (!symbol(name)) {
            if (error)
                *error = std::string("The library \"") + libraryFileName() +
                         "\" has no function " + name + ".";
            return false;
        }
    }
    return true;
}

// Resolves the export on first use and keeps it for the rest of the run.
#define ZARNI_BIND(name, type)                                                   \
    using Fn = type;                                                             \
    Fn fn = reinterpret_cast<Fn>(symbol("Zarni" #name));                         \
    if (!fn) return 0;

uint32_t ZarniBinding::OpenFile(const std::string& fileName, uint32_t mode) {
    ZARNI_BIND(OpenFile, uint32_t(ZARNI_CALL*)(const char*, uint32_t));
    return fn(fileName.c_str(), mode);
}

uint32_t ZarniBinding::CloseFile() {
    ZARNI_BIND(CloseFile, uint32_t(ZARNI_CALL*)());
    return fn();
}

uint32_t ZarniBinding::GetFileSize() {
    ZARNI_BIND(GetFileSize, uint32_t(ZARNI_CALL*)());
    return fn();
}

uint32_t ZarniBinding::ReadFile(void* destination, uint32_t size, uint32_t fileOffset) {
    ZARNI_BIND(ReadFile, uint32_t(ZARNI_CALL*)(void*, uint32_t, uint32_t, int32_t));
    return fn(destination, size, fileOffset, -1);
}

uint32_t ZarniBinding::WriteFile(const void* source, uint32_t size, uint32_t fileOffset) {
    ZARNI_BIND(WriteFile, uint32_t(ZARNI_CALL*)(const void*, uint32_t, uint32_t, int32_t));
    return fn(source, size, fileOffset, -1);
}

uint32_t ZarniBinding::SNEStoPC(uint32_t address, uint32_t kind, int32_t header) {
    ZARNI_BIND(SNEStoPC, uint32_t(ZARNI_CALL*)(uint32_t, uint32_t, int32_t));
    return fn(address, kind, header);
}

uint32_t ZarniBinding::PCtoSNES(uint32_t offset, uint32_t kind, int32_t header) {
    ZARNI_BIND(PCtoSNES, uint32_t(ZARNI_CALL*)(uint32_t, uint32_t, int32_t));
    return fn(offset, kind, header);
}

uint32_t ZarniBinding::Decompress(void* destination, uint32_t fileOffset, uint32_t maxSize,
                                  uint32_t format, uint32_t flag, uint32_t* endOffset) {
    ZARNI_BIND(Decompress,
               uint32_t(ZARNI_CALL*)(void*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*));
    return fn(destination, fileOffset, maxSize, format, flag, endOffset);
}

uint32_t ZarniBinding::DecompressMemory(void* destination, const void* source,
                                        uint32_t sourceSize, uint32_t sourceOffset,
                                        uint32_t maxSize, uint32_t format, uint32_t flag,
                                        uint32_t* endOffset) {
    ZARNI_BIND(DecompressMemory, uint32_t(ZARNI_CALL*)(void*, const void*, uint32_t, uint32_t,
                                                       uint32_t, uint32_t, uint32_t, uint32_t*));
    return fn(destination, source, sourceSize, sourceOffset, maxSize, format, flag, endOffset);
}

uint32_t ZarniBinding::Recompress(void* source, void* destination, uint32_t size,
                                  uint32_t maxSize, uint32_t format, uint32_t flag) {
    ZARNI_BIND(Recompress,
               uint32_t(ZARNI_CALL*)(void*, void*, uint32_t, uint32_t, uint32_t, uint32_t));
    return fn(source, destination, size, maxSize, format, flag);
}

uint32_t ZarniBinding::ExpandROM(uint32_t megabits) {
    ZARNI_BIND(ExpandROM, uint32_t(ZARNI_CALL*)(uint32_t));
    return fn(megabits);
}

uint32_t ZarniBinding::VerifyFreeSpace(uint32_t start, uint32_t end, uint32_t size, uint32_t kind) {
    ZARNI_BIND(VerifyFreeSpace, uint32_t(ZARNI_CALL*)(uint32_t, uint32_t, uint32_t, uint32_t));
    return fn(start, end, size, kind);
}

}  // namespace korvale
