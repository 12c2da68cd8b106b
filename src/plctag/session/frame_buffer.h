// Reassembles encapsulation messages from a TCP byte stream: one read may carry part of a
// message, or the end of one and the start of the next. Bytes are read straight into the
// buffer's free space, so a steady stream of small replies never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plctag {

class FrameBuffer {
public:
    explicit FrameBuffer(size_t initial = 8192) : buf_(initial) {}

    // At least `want` writable bytes after the buffered ones; commit() what was written.
    uint8_t *space(size_t want);
    size_t spaceSize() const { return buf_.size() - end_; }
    void commit(size_t n) { end_ += n; }

    // The whole message at the front, if one has arrived. Valid until pop() or space().
    bool front(const uint8_t **p, size_t *n) const;
    void pop();
    void clear() { begin_ = end_ = 0; }
    size_t buffered() const { return end_ - begin_; }

private:
    std::vector<uint8_t> buf_;
    size_t begin_ = 0, end_ = 0;
};

} // namespace plctag
