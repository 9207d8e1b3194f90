// The shared library exports exactly the header's Zarni names, as programs
// bind them: by plain name, at run time.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "zarni_compress.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#endif

namespace {

// Collected from the header by the build.
const char* const kExports[] = {
#include "zarni_header_exports.inc"
};

#if defined(_WIN32)

TEST(Exports, EveryHeaderNameResolvesByItsPlainName) {
    // The DLL beside the test program, as a caller ships it.
    HMODULE lib = LoadLibraryA("zarni compress.dll");
    ASSERT_NE(lib, nullptr) << "LoadLibrary error " << GetLastError();
    for (const char* name : kExports) EXPECT_NE(GetProcAddress(lib, name), nullptr) << name;
    using Version = uint32_t(ZARNI_CALL*)();
    auto version = reinterpret_cast<Version>(
        reinterpret_cast<void (*)()>(GetProcAddress(lib, "ZarniVersion")));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 112u);
    FreeLibrary(lib);
}

#else

TEST(Exports, EveryHeaderNameResolvesAndNothingElseIsExported) {
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

#endif

}  // namespace
