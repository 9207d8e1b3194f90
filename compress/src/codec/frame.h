// The frames shared by every decoder and encoder: the 64 KiB output buffer
// with its limit, the continue flag, the byte reader over the open file and
// the two variant switches chosen by the format dispatch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zarni::codec {

constexpr uint32_t kBufferSize = 0x10000;

// Reads the stream, from the open file or from memory, and counts the
// position. The end of the file (or of the memory) stops decoding: what the
// stream would hold beyond it is not defined. A file is read ahead in blocks;
// finish() puts the file's position back just after the last byte the decoder
// took, where a following read without seek goes on.
class ByteReader {
  public:
    ByteReader(std::FILE* file, uint32_t position) : file_(file), position_(position) {}

    // source[position..size); a position at or past size reads nothing.
    ByteReader(const uint8_t* source, uint32_t size, uint32_t position)
        : file_(nullptr),
          position_(position),
          data_(position < size ? source + position : source),
          end_(position < size ? size - position : 0) {}

    bool next(uint8_t& value) {
        if (at_ == end_ && !refill()) return false;
        value = data_[at_++];
        ++position_;
        return true;
    }

    // Returns how many bytes arrived.
    uint32_t block(uint8_t* destination, uint32_t count) {
        uint32_t got = 0;
        while (got < count) {
            if (at_ == end_ && !refill()) break;
            uint32_t n = end_ - at_ < count - got ? end_ - at_ : count - got;
            std::memcpy(destination + got, data_ + at_, n);
            at_ += n;
            got += n;
        }
        position_ += got;
        return got;
    }

    uint32_t position() const { return position_; }

    void finish();

  private:
    bool refill() {
        if (!file_) return false;
        at_ = 0;
        end_ = static_cast<uint32_t>(std::fread(buffer_, 1, sizeof buffer_, file_));
        return end_ != 0;
    }

    std::FILE* file_;
    uint32_t position_;
    const uint8_t* data_ = buffer_;
    uint32_t at_ = 0;
    uint32_t end_ = 0;
    uint8_t buffer_[4096];
};

struct DecoderFrame {
    uint8_t* out;
    uint32_t length = 0;
    bool go = true;
    ByteReader& in;
    uint32_t maxSize;
    int switch1;
    int switch2;

    DecoderFrame(uint8_t* buffer, ByteReader& reader, uint32_t max, int s1, int s2)
        : out(buffer), in(reader), maxSize(max), switch1(s1), switch2(s2) {}

    // One byte of the stream; the end of the file ends decoding.
    bool read(uint8_t& value) {
        if (!in.next(value)) go = false;
        return go;
    }

    // Stream bytes straight into the output; the caller has checked the room.
    void readInto(uint32_t count) {
        uint32_t got = in.block(out + length, count);
        length += got;
        if (got < count) go = false;
    }

    bool fits(uint32_t count) const { return length + count <= kBufferSize; }

    // Every single byte written checks the limit first.
    bool put(uint8_t value) {
        if (length >= kBufferSize) {
            go = false;
            return false;
        }
        out[length++] = value;
        return true;
    }

    // How many of count bytes still fit. Writing stops at the limit, as if
    // every byte had checked it: the bytes that fit are written, then decoding
    // ends.
    uint32_t clip(uint32_t count) {
        const uint32_t room = kBufferSize - length;
        if (count <= room) return count;
        go = false;
        return room;
    }

    void fill(uint8_t value, uint32_t count) {
        const uint32_t n = clip(count);
        std::memset(out + length, value, n);
        length += n;
    }

    void wordFill(uint8_t v0, uint8_t v1, uint32_t count) {
        const uint32_t n = clip(count);
        uint8_t* d = out + length;
        for (uint32_t i = 0; i < n; ++i) d[i] = (i & 1) ? v1 : v0;
        length += n;
    }

    void increasingFill(uint8_t value, uint32_t count) {
        const uint32_t n = clip(count);
        uint8_t* d = out + length;
        for (uint32_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(value + i);
        length += n;
    }

    // Bytes no command wrote read as zero. Only a copy reads them, so it
    // clears them first, up to `end`, instead of every call clearing 64 KiB.
    void clearAhead(uint32_t end) {
        if (end > length) std::memset(out + length, 0, end - length);
    }

    // Byte by byte in increasing position, so an overlapping source repeats
    // what the copy itself writes. The caller has checked the source range.
    void copy(uint32_t source, uint32_t count, uint8_t xorMask) {
        clearAhead(source + count);
        const uint32_t n = clip(count);
        uint8_t* d = out + length;
        const uint8_t* from = out + source;
        if (xorMask == 0 && source + n <= length) {
            std::memcpy(d, from, n);
        } else {
            for (uint32_t i = 0; i < n; ++i) d[i] = from[i] ^ xorMask;
        }
        length += n;
    }
};

struct EncoderFrame {
    uint8_t* out;
    uint32_t length = 0;
    bool go = true;
    int switch1;
    int switch2;

    EncoderFrame(uint8_t* buffer, int s1, int s2) : out(buffer), switch1(s1), switch2(s2) {}

    void put(uint8_t value) {
        if (length >= kBufferSize) {
            go = false;
            return;
        }
        out[length++] = value;
    }

    // A block that does not fit is not written at all.
    void putBlock(const uint8_t* bytes, uint32_t count) {
        if (length + count > kBufferSize) {
            go = false;
            return;
        }
        std::memcpy(out + length, bytes, count);
        length += count;
    }
};

using DecodeFn = void (*)(DecoderFrame&);
// Encoders may rewrite data in place (formats 0 and 1 pack tiles there).
using EncodeFn = void (*)(EncoderFrame&, uint8_t* data, uint32_t size);

void decodeFormat4(DecoderFrame& f);
void encodeFormat4(EncoderFrame& f, uint8_t* data, uint32_t size);
// A shortest format 4 stream rather than the greedy encoder's.
void encodeFormat4Smallest(EncoderFrame& f, uint8_t* data, uint32_t size);
void decodeFormat01(DecoderFrame& f);
void encodeFormat01(EncoderFrame& f, uint8_t* data, uint32_t size);
void decodeFormat100(DecoderFrame& f);
void encodeFormat100(EncoderFrame& f, uint8_t* data, uint32_t size);
void decodeFormat2(DecoderFrame& f);
void encodeFormat2(EncoderFrame& f, uint8_t* data, uint32_t size);
void decodeFormat3(DecoderFrame& f);
void encodeFormat3(EncoderFrame& f, uint8_t* data, uint32_t size);

}  // namespace zarni::codec
