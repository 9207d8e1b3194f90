// The shared library exports exactly the Zarni names, as the editor binds them.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const char* const kExports[] = {
    "ZarniVersion",      "ZarniOpenFile",         "ZarniCloseFile",       "ZarniGetFileSize",
    "ZarniReadFile",     "ZarniWriteFile",        "ZarniSNEStoPC",        "ZarniPCtoSNES",
    "ZarniDecompress",   "ZarniDecompressMemory", "ZarniRecompress",      "ZarniRecompressSmallest",
    "ZarniEraseArea",    "ZarniExpandROM",        "ZarniVerifyFreeSpace", "ZarniCreatePixelMap",
    "ZarniCreateBppMap", "ZarniSNEStoPCRGB",      "ZarniPCtoSNESRGB",     "ZarniRender8x8",
};

TEST(Exports, EveryZarniNameResolvesAndNothingElseIsExported) {
    void* lib = dlopen(ZARNI_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name : kExports) EXPECT_NE(dlsym(lib, name), nullptr) << name;
    using Version = uint32_t (*)();
    auto version = reinterpret_cast<Version>(dlsym(lib, "ZarniVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 112u);
    dlclose(lib);

    // The dynamic symbol table holds no other defined function of ours.
    std::string command = "nm -D --defined-only '" + std::string(ZARNI_LIBRARY_PATH) + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    char line[512];
    int zarniCount = 0;
    while (fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        if (s.find(" T ") == std::string::npos) continue;
        EXPECT_NE(s.find(" T Zarni"), std::string::npos) << "unexpected export: " << s;
        ++zarniCount;
    }
    EXPECT_EQ(zarniCount, static_cast<int>(std::size(kExports)));
}

}  // namespace
#endif
