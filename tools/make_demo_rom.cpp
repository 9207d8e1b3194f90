// Writes the demo ROM image: make_demo_rom OUTPUT.smc
#include <cstdio>
#include <string>

#include "demo_tracks.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_rom OUTPUT.smc\n");
        return 2;
    }
    std::string error;
    if (!korvale::demo::writeDemoRom(argv[1], error)) {
        std::fprintf(stderr, "make_demo_rom: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
