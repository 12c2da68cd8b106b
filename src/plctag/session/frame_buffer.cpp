#include "session/frame_buffer.h"

#include "encap/encap.h"

#include <cstring>

namespace plctag {

uint8_t *FrameBuffer::space(size_t want)
{
    if (buf_.size() - end_ < want) {
        if (begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() - end_ < want)
            buf_.resize(end_ + want > 2 * buf_.size() ? end_ + want : 2 * buf_.size());
    }
    return buf_.data() + end_;
}

bool FrameBuffer::front(const uint8_t **p, size_t *n) const
{
    const size_t have = end_ - begin_;
    if (have < encap::kHeaderSize)
        return false;
    const uint8_t *b = buf_.data() + begin_;
    const size_t total = encap::kHeaderSize + (size_t(b[2]) | size_t(b[3]) << 8);
    if (have < total)
        return false;
    *p = b;
    *n = total;
    return true;
}

void FrameBuffer::pop()
{
    const uint8_t *p;
    size_t n;
    if (!front(&p, &n))
        return;
    begin_ += n;
    if (begin_ == end_)
        begin_ = end_ = 0;
}

} // namespace plctag
