// The compression library, loaded by file name at run time. Each export is
// resolved by name the first time it is needed; its type comes from the
// library's public header, so a changed signature fails to compile here
// rather than at run time. Operations that touch a file call require()
// first, so a missing library or export stops them before any file is
// opened, with a message that names the library.
#pragma once

#include <cstdint>
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

    // Loads the library if needed and resolves every export the editor uses.
    // On failure returns false and sets *error to a message naming the
    // library file.
    bool require(std::string* error);

    // The exports. Each returns 0 when its export cannot be bound.
    uint32_t OpenFile(const std::string& fileName, uint32_t mode);
    uint32_t CloseFile();
    uint32_t GetFileSize();
    uint32_t ReadFile(void* destination, uint32_t size, uint32_t fileOffset);    // always seeks
    uint32_t WriteFile(const void* source, uint32_t size, uint32_t fileOffset);  // always seeks
    uint32_t SNEStoPC(uint32_t address, uint32_t kind, int32_t header);
    uint32_t PCtoSNES(uint32_t offset, uint32_t kind, int32_t header);
    uint32_t Decompress(void* destination, uint32_t fileOffset, uint32_t maxSize, uint32_t format,
                        uint32_t flag, uint32_t* endOffset);
    // The same decode from source[0..sourceSize) instead of the open file.
    uint32_t DecompressMemory(void* destination, const void* source, uint32_t sourceSize,
                              uint32_t sourceOffset, uint32_t maxSize, uint32_t format,
                              uint32_t flag, uint32_t* endOffset);
    uint32_t Recompress(void* source, void* destination, uint32_t size, uint32_t maxSize,
                        uint32_t format, uint32_t flag);
    uint32_t RecompressSmallest(void* source, void* destination, uint32_t size, uint32_t maxSize,
                                uint32_t format, uint32_t flag);
    uint32_t ExpandROM(uint32_t megabits);
    uint32_t VerifyFreeSpace(uint32_t start, uint32_t end, uint32_t size, uint32_t kind);

  private:
    template <typename Fn, typename... Args>
    uint32_t call(const char* name, Args... args);
    void* symbol(const char* name);
    bool load(std::string* error);

    std::string explicitPath_;
    void* handle_ = nullptr;
    std::string loadError_;
    struct Symbols;
    Symbols* symbols_;
};

// The library's one open file, closed again however the scope is left.
class OpenedFile {
  public:
    enum Mode : uint32_t { kReadOnly = 0, kReadWrite = 1, kCreate = 2 };
    OpenedFile(ZarniBinding& zarni, const std::string& path, Mode mode);
    ~OpenedFile() { close(); }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    explicit operator bool() const { return open_; }
    void close();

  private:
    ZarniBinding& zarni_;
    bool open_ = false;
};

// Compares `size` bytes of the library's open file at `offset` with
// `expected`. The library reports writes the system refused as done; only
// reading them back tells.
bool readsBack(ZarniBinding& zarni, const void* expected, uint32_t size, uint32_t offset);

}  // namespace korvale
