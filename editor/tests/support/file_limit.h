// Fault injection without root or a mounted disk: the body runs in a child
// process whose files cannot grow past `limit` bytes (writes beyond it fail
// with EFBIG, as on a full disk, instead of killing the process).
#pragma once

#include <cstdint>
#include <functional>

namespace korvale::test {

// The body's result as the child's exit status, or -1 if the child did not exit normally.
int runUnderFileSizeLimit(uint64_t limit, const std::function<int()>& body);

}  // namespace korvale::test
