#include "pair_index.h"

#include <algorithm>
#include <new>

namespace zarni::codec {

// Sized to what can be live at once: about one bucket per position, and for
// a window a ring of links a little longer than it.
bool KeyIndex::buildQuads(const uint8_t* data, uint32_t size, uint32_t window) {
    data_ = data;
    count_ = size >= 4 ? size - 3 : 0;
    added_ = 0;
    window_ = window;
    const bool windowed = window != kEnd;
    const uint32_t live = windowed && window + 2 < count_ ? window + 2 : count_;
    uint32_t ring = 1;
    while (ring < live) ring <<= 1;
    ringMask_ = ring - 1;
    // A window's buckets stay small enough for the first-level cache, yet
    // sparse enough that another key's entry is rarely in the way; a short
    // input has few keys in all, and most calls code short inputs. A whole
    // input's table stops at 8192 buckets too: every position is added to it,
    // and a table one bucket a position missed the cache at each, which cost
    // more than the other keys' entries that longer chains hold.
    uint32_t bits = 8;
    const uint32_t maxBits = windowed ? 12 : 13;
    const uint32_t wanted = windowed ? std::min(live * 16, count_ * 2) : live;
    while (bits < maxBits && (1u << bits) < wanted) ++bits;
    shift_ = 32 - bits;
    bucketTable_.reset(static_cast<Bucket*>(std::calloc(size_t{1} << bits, sizeof(Bucket))));
    nextLinks_.reset(new (std::nothrow) Slot[ring]);
    if (windowed) previousLinks_.reset(new (std::nothrow) Slot[ring]);
    buckets_ = bucketTable_.get();
    next_ = nextLinks_.get();
    previous_ = previousLinks_.get();
    return buckets_ && next_ && (!windowed || previous_);
}

void KeyIndex::addUpTo(uint32_t high) {
    if (high > count_) high = count_;
    if (window_ != kEnd && high > window_ && added_ < high - window_) added_ = high - window_;
    Bucket* buckets = buckets_;
    for (uint32_t i = added_; i < high; ++i) {
        const uint32_t key = quadKey(data_ + i);
        Bucket& b = buckets[bucket(key)];
        const uint32_t t = widen(b.tail);
        if (previous_) {
            // Forward links are written by the searches that walk there.
            previous_[i & ringMask_] = b.tail;
        } else {
            if (t == kEnd) {
                b.head = narrow(i);
            } else {
                next_[t] = narrow(i);
            }
            next_[i] = 0;
        }
        b.tail = narrow(i);
    }
    if (high > added_) added_ = high;
}

KeyIndex::Range KeyIndex::findFrom(const Bucket& b, uint32_t low, uint32_t high) {
    uint32_t first = kEnd;
    if (previous_) {
        // Back from the newest entry (a window holds few), linking the
        // entries forward on the way for the walk that follows.
        Slot after = 0;
        for (uint32_t e = widen(b.tail); e != kEnd && e >= low; e = previous(e)) {
            next_[e & ringMask_] = after;
            after = narrow(e);
            first = e;
        }
    } else {
        first = widen(b.head);
        while (first < low) first = next(first);
    }
    return {first, high};
}

namespace {

// Each thread keeps its set's memory (256 KiB at most): most calls code short
// inputs, and allocating a set costs more than clearing the part a call uses.
// A second filter alive on the same thread gets memory of its own.
struct ThreadTriples {
    std::unique_ptr<uint64_t, FreeDeleter> bits;
    size_t words = 0;
    bool busy = false;
};
thread_local ThreadTriples threadTriples;

}  // namespace

bool TripleFilter::build(const uint8_t* data, uint32_t size) {
    data_ = data;
    count_ = size >= 3 ? size - 2 : 0;
    added_ = 0;
    uint32_t bits = 10;
    while ((1u << bits) < count_ * 32) ++bits;
    shift_ = 64 - (bits - 6);
    const size_t words = (size_t{1} << bits) / 64;
    ThreadTriples& t = threadTriples;
    if (!t.busy && t.words < words) {
        t.bits.reset(static_cast<uint64_t*>(std::malloc(words * 8)));
        t.words = t.bits ? words : 0;
    }
    if (!t.busy && t.bits) {
        t.busy = true;
        bits_ = t.bits.get();
        std::memset(bits_, 0, words * 8);
        return true;
    }
    own_.reset(static_cast<uint64_t*>(std::calloc(words, 8)));
    bits_ = own_.get();
    return bits_ != nullptr;
}

TripleFilter::~TripleFilter() {
    if (bits_ && !own_) threadTriples.busy = false;
}

}  // namespace zarni::codec
