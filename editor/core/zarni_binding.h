// The compression library, loaded by file name at run time. Each export is
// resolved by name the first time it is needed. Operations that touch a file
// call require() first, so a missing library or export stops them before any
// file is opened, with a message that names the library.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

namespace korvale {

class ZarniBinding {
public:
    // The library file's name on this platform: "zarni compress.dll",
    // "libzarnicompress.so" or "libzarnicompress.dylib".
    static const char* libraryFileName();

    // The process-wide binding, looking beside the executable first and then
    // in the platform's usual search.
    static ZarniBinding& instance();

    // explicitPath: load exactly this file (tests use it for a missing library).
    explicit ZarniBinding(std::string explicitPath = {});
    ~ZarniBinding();
    ZarniBinding(const ZarniBinding&) = delete;
    ZarniBinding& operator=(const ZarniBinding&) = delete;

    // Loads the library if needed and resolves the named exports. On failure
    // returns false and sets *error to a message naming the library file.
    bool require(std::initializer_list<const char*> exports, std::string* error);

    // The exports. Each returns 0 when its export cannot be bound.
    uint32_t OpenFile(const std::string& fileName, uint32_t mode);
    uint32_t CloseFile();
    uint32_t GetFileSize();
    uint32_t ReadFile(void* destination, uint32_t size, uint32_t fileOffset);   // always seeks
    uint32_t WriteFile(const void* source, uint32_t size, uint32_t fileOffset);  // always seeks
    uint32_t SNEStoPC(uint32_t address, uint32_t kind, int32_t header);
    uint32_t PCtoSNES(uint32_t offset, uint32_t kind, int32_t header);
    uint32_t Decompress(void* destination, uint32_t fileOffset, uint32_t maxSize, uint32_t format,
                        uint32_t flag, uint32_t* endOffset);
    uint32_t DecompressMemory(void* destination, const void* source, uint32_t sourceSize,
                              uint32_t sourceOffset, uint32_t maxSize, uint32_t format,
                              uint32_t flag, uint32_t* endOffset);
    uint32_t Recompress(void* source, void* destination, uint32_t size, uint32_t maxSize,
                        uint32_t format, uint32_t flag);
    uint32_t ExpandROM(uint32_t megabits);
    uint32_t VerifyFreeSpace(uint32_t start, uint32_t end, uint32_t size, uint32_t kind);

private:
    void* symbol(const char* name);
    bool load(std::string* error);

    std::string explicitPath_;
    void* handle_ = nullptr;
    std::string loadError_;
    std::map<std::string, void*, std::less<>> symbols_;
};

}  // namespace korvale
