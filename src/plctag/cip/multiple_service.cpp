#include "cip/multiple_service.h"

#include "cip/cip.h"

namespace plctag::cip {

void writeMultipleService(wire::Writer &w, const Span *requests, size_t n)
{
    writeRequestHead(w, kMultipleServicePacket, kMessageRouterPath, sizeof kMessageRouterPath);
    w.u16(static_cast<uint16_t>(n));
    size_t at = 2 + 2 * n;
    for (size_t i = 0; i < n; ++i) {
        w.u16(static_cast<uint16_t>(at));
        at += requests[i].size;
    }
    for (size_t i = 0; i < n; ++i)
        w.bytes(requests[i].data, requests[i].size);
}

bool splitMultipleService(const uint8_t *data, size_t size, Span *replies, size_t n)
{
    wire::Reader r(data, size);
    if (r.u16() != n || !r.ok())
        return false;
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t offset = r.u16();
        if (!r.ok() || offset < 2 + 2 * n || offset > size || offset < start)
            return false;
        if (i > 0)
            replies[i - 1] = {data + start, offset - start};
        start = offset;
    }
    if (n > 0)
        replies[n - 1] = {data + start, size - start};
    for (size_t i = 0; i < n; ++i)
        if (replies[i].size < 4) // service, reserved, status, extended status size
            return false;
    return true;
}

} // namespace plctag::cip
