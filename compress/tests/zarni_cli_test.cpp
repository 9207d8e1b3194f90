// The zarni tool run as a child process, the way build scripts run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "zarni_compress.h"

using zt::Bytes;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

class ZarniCli : public ::testing::Test {
  protected:
    // Arguments are joined as they stand: the test's own paths hold no spaces.
    Outcome zarni(const std::string& arguments) {
        lastCommand = "zarni " + arguments;
        const int status = std::system(command(arguments).c_str());
        Outcome r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return withOutput(r);
    }

    // The same where no file may grow past `limit` bytes, as on a full disk.
    Outcome zarniWithFileSizeLimit(const std::string& arguments, uint64_t limit) {
        lastCommand = "zarni " + arguments + " (file size limit " + std::to_string(limit) + ")";
        Outcome r;
        r.exitCode = zt::withFileSizeLimit(limit, [&] {
            const int status = std::system(command(arguments).c_str());
            return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
        });
        return withOutput(r);
    }

    std::string command(const std::string& arguments) const {
        return std::string(ZARNI_CLI_PATH) + " " + arguments + " >" + dir.file("stdout.txt") +
               " 2>" + dir.file("stderr.txt");
    }

    Outcome withOutput(Outcome r) const {
        const Bytes o = zt::readFile(dir.file("stdout.txt"));
        const Bytes e = zt::readFile(dir.file("stderr.txt"));
        r.out.assign(o.begin(), o.end());
        r.err.assign(e.begin(), e.end());
        return r;
    }

    // A failure: non-zero exit and exactly one line on stderr.
    void expectFailure(const Outcome& r, const std::string& mentions) {
        SCOPED_TRACE(lastCommand);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(r.err.rfind("zarni: ", 0), 0u) << r.err;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
    }

    std::string file(const std::string& name, const Bytes& content) {
        const std::string path = dir.file(name);
        zt::writeFile(path, content);
        return path;
    }

    zt::TempDir dir;
    std::string lastCommand;
};

Bytes sample(size_t size) {
    std::mt19937 rng(11);
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = rng() % 5 ? static_cast<uint8_t>(i / 64) : rng();
    return b;
}

TEST_F(ZarniCli, HelpDescribesEverySubcommand) {
    const Outcome r = zarni("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* sub : {"decompress", "compress", "snes2pc", "pc2snes", "expand", "free",
                            "erase", "to-pixels", "to-planar"})
        EXPECT_NE(r.out.find(sub), std::string::npos) << sub;
    const Outcome sub = zarni("free --help");
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_NE(sub.out.find("--size"), std::string::npos);
}

TEST_F(ZarniCli, CompressThenDecompressFromAnOffset) {
    const Bytes original = sample(5000);
    const std::string input = file("map.bin", original);
    const std::string packed = dir.file("map.z4");
    const Outcome c = zarni("compress " + input + " -f 4 -o " + packed);
    ASSERT_EQ(c.exitCode, 0) << c.err;
    const Bytes stream = zt::readFile(packed);
    EXPECT_EQ(c.out, "compressed 5000 bytes to " + std::to_string(stream.size()) + " bytes\n");

    // Inside a larger file, behind 0x300 bytes of other data.
    Bytes rom(0x300, 0xA5);
    rom.insert(rom.end(), stream.begin(), stream.end());
    rom.insert(rom.end(), 100, 0xA5);
    const std::string romPath = file("rom.bin", rom);
    char endOffset[16];
    std::snprintf(endOffset, sizeof endOffset, "0x%06zX", 0x300 + stream.size());
    for (const char* offset : {"0x300", "'$300'", "768"}) {  // $ quoted for the shell
        const std::string output = dir.file("out.bin");
        const Outcome d = zarni("decompress " + romPath + " " + offset + " -f 4 -o " + output);
        ASSERT_EQ(d.exitCode, 0) << d.err;
        EXPECT_EQ(d.out, std::string("decoded 5000 bytes, end offset ") + endOffset + "\n");
        EXPECT_EQ(zt::readFile(output), original);
    }
    // --max cuts what is written, not the size reported.
    const Outcome m =
        zarni("decompress " + romPath + " 0x300 -f 4 --max 100 -o " + dir.file("cut"));
    ASSERT_EQ(m.exitCode, 0) << m.err;
    EXPECT_EQ(m.out.rfind("decoded 5000 bytes", 0), 0u);
    EXPECT_EQ(zt::readFile(dir.file("cut")), Bytes(original.begin(), original.begin() + 100));
}

TEST_F(ZarniCli, CompressSmallestWritesTheShortestStream) {
    Bytes original = sample(5000);
    const std::string input = file("map.bin", original), packed = dir.file("map.z4");
    const Outcome c = zarni("compress " + input + " -f 4 --smallest -o " + packed);
    ASSERT_EQ(c.exitCode, 0) << c.err;
    Bytes expected(0x10000);
    expected.resize(ZarniRecompressSmallest(original.data(), expected.data(), 5000, 0x10000, 4, 0));
    EXPECT_LT(expected.size(), zt::encode(original, 4).size());
    EXPECT_EQ(zt::readFile(packed), expected);
}

TEST_F(ZarniCli, AddressConversions) {
    EXPECT_EQ(zarni("snes2pc '$0A8000' -k lorom").out, "0x050000\n");
    EXPECT_EQ(zarni("snes2pc 0x0A8000 -k 1 --header").out, "0x050200\n");
    EXPECT_EQ(zarni("snes2pc 0x412345 -k hirom --header").out, "0x012545\n");
    EXPECT_EQ(zarni("snes2pc 0x401234 -k exhirom").out, "0x401234\n");
    EXPECT_EQ(zarni("pc2snes 0x50200 -k lorom --header").out, "0x0A8000\n");
    EXPECT_EQ(zarni("pc2snes 74565 -k hirom").out, "0xC12345\n");
    EXPECT_EQ(zarni("pc2snes 0x401234 -k 4").out, "0x401234\n");
    expectFailure(zarni("pc2snes 0x1234 -k 3"), "mapping kind");
    expectFailure(zarni("pc2snes 0x12G4 -k hirom"), "bad number");
    expectFailure(zarni("pc2snes 0x100000000 -k hirom"), "bad number");
    expectFailure(zarni("snes2pc -5 -k hirom"), "");
}

TEST_F(ZarniCli, ExpandGrowsAHeaderedRom) {
    Bytes rom(0x80200, 0xFF);
    const std::string path = file("rom.smc", rom);
    const Outcome r = zarni("expand " + path + " 16");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "16\n");
    const Bytes grown = zt::readFile(path);
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_EQ(grown[0x200 + 0xFFD7], 11u);
    EXPECT_EQ(grown[0x80200], 0u);
    EXPECT_EQ(grown.back(), 0u);
    EXPECT_EQ(zarni("expand " + path + " 8").out, "16\n");  // already larger: unchanged
    EXPECT_EQ(zt::readFile(path).size(), 0x200200u);
}

TEST_F(ZarniCli, FreeAndErase) {
    Bytes rom(0x20000, 0xFF);
    std::fill(rom.begin() + 0xFF00, rom.begin() + 0x10100, uint8_t{0});
    const std::string path = file("rom.sfc", rom);
    EXPECT_EQ(zarni("free " + path + " --size 0x100 -k hirom").out, "0x00FF00\n");
    EXPECT_EQ(zarni("free " + path + " --size 0x100 -k hirom --start 0xFF01").out, "0x010000\n");
    EXPECT_EQ(zarni("free " + path + " -s 0x200 -k none").out, "0x00FF00\n");
    expectFailure(zarni("free " + path + " --size 0x201 -k hirom"), "no run of 513 free bytes");

    const Outcome e = zarni("erase " + path + " 0x20 16");
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_EQ(e.out, "erased 16 bytes at 0x000020\n");
    Bytes expected = rom;
    std::fill(expected.begin() + 0x20, expected.begin() + 0x30, uint8_t{0});
    EXPECT_EQ(zt::readFile(path), expected);
}

TEST_F(ZarniCli, TilesToPixelsAndBack) {
    Bytes planar(3 * 32);
    for (size_t i = 0; i < planar.size(); ++i) planar[i] = static_cast<uint8_t>(i * 37);
    planar[0] = 0x80;
    planar[1] = 0x80;
    planar[16] = planar[17] = 0;
    const std::string in = file("tiles.4bpp", planar);
    const Outcome p = zarni("to-pixels " + in + " " + dir.file("tiles.pix") + " --bpp 4");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const Bytes pixels = zt::readFile(dir.file("tiles.pix"));
    ASSERT_EQ(pixels.size(), 3u * 64);
    EXPECT_EQ(pixels[0], 3u);
    const Outcome b =
        zarni("to-planar " + dir.file("tiles.pix") + " " + dir.file("back") + " -b 4");
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(zt::readFile(dir.file("back")), planar);
    expectFailure(zarni("to-pixels " + in + " " + dir.file("x") + " --bpp 5"), "whole number");
    expectFailure(zarni("to-pixels " + in + " " + dir.file("x") + " --bpp 9"), "--bpp");
    EXPECT_FALSE(fs::exists(dir.file("x")));
}

TEST_F(ZarniCli, FailuresLeaveFilesUntouched) {
    const Bytes previous = {1, 2, 3};
    const std::string output = file("previous.bin", previous);
    const std::string input = file("input.bin", sample(300));

    expectFailure(zarni("compress " + dir.file("absent") + " -f 4 -o " + output), "absent");
    expectFailure(zarni("compress " + input + " -f 7 -o " + output), "unknown format 7");
    expectFailure(zarni("compress " + file("big", Bytes(0x10001)) + " -f 4 -o " + output), "65536");
    expectFailure(zarni("decompress " + input + " 0x1000 -f 4 -o " + output), "beyond the end");
    expectFailure(zarni("decompress " + input + " 12z -f 4 -o " + output), "bad number");
    expectFailure(zarni("decompress " + dir.file("absent") + " 0 -f 4 -o " + output), "absent");
    EXPECT_EQ(zt::readFile(output), previous);

    const Bytes rom(0x40000, 0xFF);
    const std::string romPath = file("rom.smc", rom);
    expectFailure(zarni("expand " + romPath + " 33"), "32 megabits");
    expectFailure(zarni("erase " + romPath + " 0 0"), "size is 0");
    expectFailure(zarni("expand " + dir.file("absent") + " 16"), "no such file");
    EXPECT_FALSE(fs::exists(dir.file("absent")));
    EXPECT_EQ(zt::readFile(romPath), rom);

    // Read-only images are refused before anything is written, also for root.
    fs::permissions(romPath,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    expectFailure(zarni("expand " + romPath + " 16"), "read-only");
    expectFailure(zarni("erase " + romPath + " 0 16"), "read-only");
    EXPECT_EQ(zt::readFile(romPath), rom);
    // Growth that is not needed reads only.
    EXPECT_EQ(zarni("expand " + romPath + " 1").out, "2\n");

    expectFailure(zarni("erase " + romPath + " 0xFFFFFF00 0x200"), "past 4 GiB");
    expectFailure(zarni("expand " + romPath), "megabits");
}

TEST_F(ZarniCli, UsageAndInputMistakesAreNamed) {
    expectFailure(zarni("explode"), "unknown subcommand 'explode'");
    const std::string folder = dir.file("folder");
    fs::create_directory(folder);
    const std::string out = dir.file("out");
    for (const std::string& command :
         {"compress " + folder + " -f 4 -o " + out, "to-pixels " + folder + " " + out + " -b 2",
          "to-planar " + folder + " " + out + " -b 2"})
        expectFailure(zarni(command), folder + " is a folder");
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ZarniCli, ReplacedOutputsKeepTheirPermissionBits) {
    const std::string input = file("input.bin", sample(3000));
    const std::string output = file("output.bin", {1, 2, 3});
    const auto bits = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(output, bits);
    ASSERT_EQ(zarni("compress " + input + " -f 4 -o " + output).exitCode, 0);
    EXPECT_EQ(fs::status(output).permissions(), bits);
    EXPECT_NE(zt::readFile(output), Bytes({1, 2, 3}));
}

// The image is checked byte for byte.
TEST_F(ZarniCli, GrowthThatFailsPartWayChangesNothing) {
    const Bytes rom(0x80200, 0xFF);
    const std::string romPath = file("rom.smc", rom);
    expectFailure(zarniWithFileSizeLimit("expand " + romPath + " 16", 0xC0000),
                  "cannot expand " + romPath + ": the file would pass the largest size");
    expectFailure(zarniWithFileSizeLimit("erase " + romPath + " 0x80000 0x1000", 0x80800),
                  "cannot erase in " + romPath + ": the file would pass the largest size");
    EXPECT_EQ(zt::readFile(romPath), rom);
}

// Outputs are checked byte for byte, and nothing new is left in the folder.
TEST_F(ZarniCli, OutputsThatFailPartWayChangeNothing) {
    const Bytes previous = {1, 2, 3};
    const std::string output = file("previous.bin", previous);
    const std::string data = file("data.bin", zt::noise(4096));
    const std::string stream = dir.file("stream.z4");
    ASSERT_EQ(zarni("compress " + data + " -f 4 -o " + stream).exitCode, 0);
    const auto before = std::distance(fs::directory_iterator(dir.path()), {});

    for (const std::string& command : {"compress " + data + " -f 4 -o " + output,
                                       "decompress " + stream + " 0 -f 4 -o " + output,
                                       "to-pixels " + data + " " + output + " -b 4",
                                       "to-planar " + data + " " + output + " -b 4"}) {
        expectFailure(zarniWithFileSizeLimit(command, 1024),
                      "cannot write " + output + ": the file would pass the largest size");
        EXPECT_EQ(zt::readFile(output), previous);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), before);
}

}  // namespace
