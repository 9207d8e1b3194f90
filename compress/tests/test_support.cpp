#include "test_support.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "zarni_compress.h"

namespace zt {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("zarni-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
        if (digits.size() == 2) {
            out.push_back(static_cast<uint8_t>(std::stoi(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

Bytes ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Decoded decode(const Bytes& stream, uint32_t format, uint32_t formatFlag, uint32_t maxSize,
               uint32_t lead) {
    TempDir dir;
    Bytes file(lead, 0x5A);
    file.insert(file.end(), stream.begin(), stream.end());
    writeFile(dir.file("stream.bin"), file);
    Decoded d;
    if (!ZarniOpenFile(dir.file("stream.bin").c_str(), 0)) throw std::runtime_error("open failed");
    d.data.assign(maxSize, 0);
    d.endOffset = 0xDEADBEEF;
    d.result = ZarniDecompress(d.data.data(), lead, maxSize, format, formatFlag, &d.endOffset);
    ZarniCloseFile();
    d.data.resize(d.result < maxSize ? d.result : maxSize);
    return d;
}

Bytes encode(Bytes input, uint32_t format, uint32_t formatFlag) {
    Bytes out(0x10000);
    uint32_t n = ZarniRecompress(input.data(), out.data(), static_cast<uint32_t>(input.size()),
                                 0x10000, format, formatFlag);
    out.resize(n);
    return out;
}

Bytes noise(size_t n, uint32_t seed) {
    auto reversed = [](uint8_t v) {
        uint8_t r = 0;
        for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
        return r;
    };
    Bytes out;
    std::mt19937 rng(seed);
    std::vector<bool> seen(65536);
    while (out.size() < n) {
        auto v = static_cast<uint8_t>(rng());
        if (!out.empty()) {
            const uint8_t last = out.back();
            const uint32_t key = last | v << 8;
            const uint32_t related[] = {key, key ^ 0xFFFF, static_cast<uint32_t>(v | last << 8),
                                        static_cast<uint32_t>(reversed(last) | reversed(v) << 8)};
            bool taken = false;
            for (uint32_t k : related) taken = taken || seen[k];
            const int step = v - last;
            if (taken || related[0] == related[1] || related[0] == related[2] ||
                related[0] == related[3] || (step >= -1 && step <= 1))
                continue;
            if (out.size() >= 2 && v == out[out.size() - 2]) continue;
            seen[key] = true;
        }
        out.push_back(v);
    }
    return out;
}

void zeroDroppedTileBytes(Bytes& data) {
    for (size_t i = 16; i < data.size(); ++i)
        if ((i & 16) && (i & 1)) data[i] = 0;
}

#if !defined(_WIN32)
int withFileSizeLimit(uint64_t limit, const std::function<int()>& operation) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const rlimit fileSize{limit, limit};
        std::signal(SIGXFSZ, SIG_IGN);
        _exit(setrlimit(RLIMIT_FSIZE, &fileSize) == 0 ? operation() : 99);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

uint32_t propertySize(std::mt19937& rng) {
    switch (rng() % 8) {
        case 0:
            return 2 + rng() % 15;
        case 1:
            return 65536 - rng() % 64;
        default: {
            // Log-uniform: as many inputs near 100 bytes as near 10,000.
            std::uniform_real_distribution<double> d(1.0, 16.0);
            auto n = static_cast<uint32_t>(std::exp2(d(rng)));
            return n < 2 ? 2 : (n > 65536 ? 65536 : n);
        }
    }
}

namespace {

// Appends a block of one kind of content of about n bytes.
void appendPiece(std::mt19937& rng, Bytes& out, uint32_t n, int kind) {
    auto byte = [&] { return static_cast<uint8_t>(rng()); };
    switch (kind) {
        case 0:  // random
            for (uint32_t i = 0; i < n; ++i) out.push_back(byte());
            break;
        case 1: {  // long run of one byte
            uint8_t v = rng() % 3 ? byte() : 0;
            out.insert(out.end(), n, v);
            break;
        }
        case 2: {  // alternating pair
            uint8_t a = byte(), b = byte();
            for (uint32_t i = 0; i < n; ++i) out.push_back(i & 1 ? b : a);
            break;
        }
        case 3: {  // increasing or decreasing, 8-bit arithmetic
            uint8_t v = byte(), step = rng() % 2 ? 1 : byte();
            if (rng() % 3 == 0) step = static_cast<uint8_t>(-1);
            for (uint32_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v + step * i));
            break;
        }
        case 4: {  // 16-bit arithmetic, low byte first
            uint16_t v = static_cast<uint16_t>(rng());
            int step = static_cast<int>(rng() % 257) - 128;
            for (uint32_t i = 0; i < n / 2; ++i) {
                auto w = static_cast<uint16_t>(v + step * static_cast<int>(i));
                out.push_back(static_cast<uint8_t>(w));
                out.push_back(static_cast<uint8_t>(w >> 8));
            }
            break;
        }
        case 5:
        case 6:
        case 7: {  // repeat of earlier data at a chosen distance
            if (out.empty()) {
                appendPiece(rng, out, n, 0);
                break;
            }
            static const uint32_t distances[] = {1,   2,   3,   8,   16,  24,   64,   120,  127,
                                                 128, 129, 255, 256, 257, 4095, 4096, 4097, 40000};
            uint32_t d =
                kind == 7 ? 1 + rng() % out.size() : distances[rng() % std::size(distances)];
            if (d > out.size()) d = static_cast<uint32_t>(out.size());
            size_t from = out.size() - d;
            for (uint32_t i = 0; i < n; ++i) out.push_back(out[from + i]);
            break;
        }
        case 8: {  // inverted repeat
            if (out.empty()) {
                appendPiece(rng, out, n, 0);
                break;
            }
            size_t from = rng() % out.size();
            for (uint32_t i = 0; i < n && from + i < out.size(); ++i)
                out.push_back(static_cast<uint8_t>(~out[from + i]));
            break;
        }
        case 9: {  // bit-reversed repeat
            if (out.empty()) {
                appendPiece(rng, out, n, 0);
                break;
            }
            size_t from = rng() % out.size();
            for (uint32_t i = 0; i < n && from + i < out.size(); ++i) {
                uint8_t v = out[from + i], r = 0;
                for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
                out.push_back(r);
            }
            break;
        }
        case 10: {  // backward repeat
            if (out.empty()) {
                appendPiece(rng, out, n, 0);
                break;
            }
            size_t from = rng() % out.size();
            for (uint32_t i = 0; i < n && i <= from; ++i) out.push_back(out[from - i]);
            break;
        }
        case 11: {  // triples and groups with one free byte
            uint8_t a = byte(), b = byte(), c = byte();
            uint32_t group = 2 + rng() % 3;
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t k = i % group;
                out.push_back(k == group - 1 && rng() % 2 ? byte() : (k == 0 ? a : k == 1 ? b : c));
            }
            break;
        }
        case 13: {  // values below 16: nibble runs and nibble pairs
            uint8_t a = static_cast<uint8_t>(rng() % 16), b = static_cast<uint8_t>(rng() % 16);
            bool pairs = rng() % 2;
            for (uint32_t i = 0; i < n; ++i) out.push_back(pairs && (i & 1) ? b : a);
            break;
        }
        default: {  // few symbols, like a tile map
            uint8_t a = byte(), b = byte();
            for (uint32_t i = 0; i < n; ++i) out.push_back(rng() % 7 ? a : b);
            break;
        }
    }
}

}  // namespace

Bytes shapedInput(std::mt19937& rng, uint32_t size, int shape) {
    Bytes out;
    out.reserve(size + 1024);
    shape = ((shape % kShapeCount) + kShapeCount) % kShapeCount;
    while (out.size() < size) {
        uint32_t left = size - static_cast<uint32_t>(out.size());
        uint32_t piece;
        switch (rng() % 4) {
            case 0:
                piece = 1 + rng() % 8;
                break;
            case 1:
                piece = 200 + rng() % 120;  // around 255
                break;
            default:
                piece = 1 + rng() % 1500;
                break;
        }
        if (piece > left) piece = left;
        // Shapes below kKinds favour one kind; the rest mix them all.
        constexpr int kKinds = 14;
        int kind = shape < kKinds && rng() % 4 ? shape : static_cast<int>(rng() % kKinds);
        appendPiece(rng, out, piece, kind);
    }
    out.resize(size);
    return out;
}

}  // namespace zt
