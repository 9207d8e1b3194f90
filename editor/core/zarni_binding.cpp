#include "core/zarni_binding.h"

#include <zarni_compress.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace korvale {

// Every export the editor uses, once. The names, the resolution and the
// check in require() all come from this list.
#define KORVALE_ZARNI_EXPORTS(X) \
    X(OpenFile)                  \
    X(CloseFile)                 \
    X(GetFileSize)               \
    X(ReadFile)                  \
    X(WriteFile)                 \
    X(SNEStoPC)                  \
    X(PCtoSNES)                  \
    X(Decompress)                \
    X(DecompressMemory)          \
    X(Recompress)                \
    X(RecompressSmallest)        \
    X(ExpandROM)                 \
    X(VerifyFreeSpace)

namespace {

#define KORVALE_NAME(name) "Zarni" #name,
constexpr std::array kExportNames = {KORVALE_ZARNI_EXPORTS(KORVALE_NAME)};
#undef KORVALE_NAME

constexpr int32_t kSeek = -1;

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

// Resolved addresses, in the order of the list.
struct ZarniBinding::Symbols {
    std::array<void*, kExportNames.size()> address{};
};

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

ZarniBinding::ZarniBinding(std::string explicitPath)
    : explicitPath_(std::move(explicitPath)), symbols_(new Symbols) {}

// The library stays loaded to the end of the process, which closes its open file.
ZarniBinding::~ZarniBinding() {
    delete symbols_;
}

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
    size_t i = 0;
    while (i < kExportNames.size() && std::string_view(kExportNames[i]) != name) ++i;
    if (i == kExportNames.size()) return nullptr;
    void*& address = symbols_->address[i];
    if (address) return address;
    if (!load(nullptr)) return nullptr;
#if defined(_WIN32)
    address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    address = dlsym(handle_, name);
#endif
    return address;
}

bool ZarniBinding::require(std::string* error) {
    if (!load(error)) return false;
    for (const char* name : kExportNames) {
        if (!symbol(name)) {
            if (error)
                *error = std::string("The library \"") + libraryFileName() + "\" has no function " +
                         name + ".";
            return false;
        }
    }
    return true;
}

// The export's type is the header's own; only its address comes from the
// library loaded at run time.
template <typename Fn, typename... Args>
uint32_t ZarniBinding::call(const char* name, Args... args) {
    auto fn = reinterpret_cast<Fn>(symbol(name));
    return fn ? fn(args...) : 0;
}

#define KORVALE_CALL(name, ...) \
    call<decltype(&Zarni##name)>("Zarni" #name __VA_OPT__(, ) __VA_ARGS__)

uint32_t ZarniBinding::OpenFile(const std::string& fileName, uint32_t mode) {
    return KORVALE_CALL(OpenFile, fileName.c_str(), mode);
}

uint32_t ZarniBinding::CloseFile() {
    return KORVALE_CALL(CloseFile);
}

uint32_t ZarniBinding::GetFileSize() {
    return KORVALE_CALL(GetFileSize);
}

uint32_t ZarniBinding::ReadFile(void* destination, uint32_t size, uint32_t fileOffset) {
    return KORVALE_CALL(ReadFile, destination, size, fileOffset, kSeek);
}

uint32_t ZarniBinding::WriteFile(const void* source, uint32_t size, uint32_t fileOffset) {
    return KORVALE_CALL(WriteFile, source, size, fileOffset, kSeek);
}

uint32_t ZarniBinding::SNEStoPC(uint32_t address, uint32_t kind, int32_t header) {
    return KORVALE_CALL(SNEStoPC, address, kind, header);
}

uint32_t ZarniBinding::PCtoSNES(uint32_t offset, uint32_t kind, int32_t header) {
    return KORVALE_CALL(PCtoSNES, offset, kind, header);
}

uint32_t ZarniBinding::Decompress(void* destination, uint32_t fileOffset, uint32_t maxSize,
                                  uint32_t format, uint32_t flag, uint32_t* endOffset) {
    return KORVALE_CALL(Decompress, destination, fileOffset, maxSize, format, flag, endOffset);
}

uint32_t ZarniBinding::DecompressMemory(void* destination, const void* source, uint32_t sourceSize,
                                        uint32_t sourceOffset, uint32_t maxSize, uint32_t format,
                                        uint32_t flag, uint32_t* endOffset) {
    return KORVALE_CALL(DecompressMemory, destination, source, sourceSize, sourceOffset, maxSize,
                        format, flag, endOffset);
}

uint32_t ZarniBinding::Recompress(void* source, void* destination, uint32_t size, uint32_t maxSize,
                                  uint32_t format, uint32_t flag) {
    return KORVALE_CALL(Recompress, source, destination, size, maxSize, format, flag);
}

uint32_t ZarniBinding::RecompressSmallest(void* source, void* destination, uint32_t size,
                                          uint32_t maxSize, uint32_t format, uint32_t flag) {
    return KORVALE_CALL(RecompressSmallest, source, destination, size, maxSize, format, flag);
}

uint32_t ZarniBinding::ExpandROM(uint32_t megabits) {
    return KORVALE_CALL(ExpandROM, megabits);
}

uint32_t ZarniBinding::VerifyFreeSpace(uint32_t start, uint32_t end, uint32_t size, uint32_t kind) {
    return KORVALE_CALL(VerifyFreeSpace, start, end, size, kind);
}

#undef KORVALE_CALL

OpenedFile::OpenedFile(ZarniBinding& zarni, const std::string& path, Mode mode)
    : zarni_(zarni), open_(!path.empty() && zarni.OpenFile(path, mode) != 0) {}

void OpenedFile::close() {
    if (open_) zarni_.CloseFile();
    open_ = false;
}

bool readsBack(ZarniBinding& zarni, const void* expected, uint32_t size, uint32_t offset) {
    const auto* want = static_cast<const uint8_t*>(expected);
    std::vector<uint8_t> actual(size);
    // A read cut short keeps the buffer's bytes, so start from their complement.
    for (uint32_t i = 0; i < size; ++i) actual[i] = static_cast<uint8_t>(~want[i]);
    zarni.ReadFile(actual.data(), size, offset);
    return std::equal(actual.begin(), actual.end(), want);
}

}  // namespace korvale
