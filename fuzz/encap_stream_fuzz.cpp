// A TCP byte stream of encapsulation messages, delivered in arbitrary pieces: reassembly
// must give the same messages however the stream is split, and the CPF and message router
// parsers must stay inside each message.
#include "cip/cip.h"
#include "encap/encap.h"
#include "session/frame_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Messages = std::vector<std::vector<uint8_t>>;

Messages reassemble(const uint8_t *data, size_t size, const uint8_t *cuts, size_t ncuts)
{
    plctag::FrameBuffer fb(64); // small, so that growth and compaction are exercised
    Messages out;
    size_t pos = 0, cut = 0;
    while (pos < size) {
        size_t piece = ncuts ? size_t(cuts[cut++ % ncuts]) + 1 : size - pos;
        if (piece > size - pos)
            piece = size - pos;
        uint8_t *dst = fb.space(piece);
        std::memcpy(dst, data + pos, piece);
        fb.commit(piece);
        pos += piece;
        const uint8_t *p;
        size_t n;
        while (fb.front(&p, &n)) {
            out.emplace_back(p, p + n);
            fb.pop();
        }
    }
    return out;
}

void parse(const std::vector<uint8_t> &msg)
{
    plctag::encap::CipPayload cpf;
    if (!plctag::encap::parseCipPayload(msg.data(), msg.size(), &cpf))
        return;
    if (cpf.size > msg.size() || (cpf.size && (cpf.data < msg.data() || cpf.data + cpf.size > msg.data() + msg.size())))
        std::abort();
    plctag::cip::MrReply r;
    if (!plctag::cip::parseMrReply(cpf.data, cpf.size, &r))
        return;
    if (r.size && (r.data < cpf.data || r.data + r.size > cpf.data + cpf.size))
        std::abort();
    plctag::cip::ForwardOpenResult fo;
    plctag::cip::parseForwardOpenReply(r, &fo);
}

} // namespace

// Input: one byte N, N bytes of piece sizes, then the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t ncuts = data[0] % 16;
    if (size < 1 + ncuts)
        return 0;
    const uint8_t *stream = data + 1 + ncuts;
    const size_t n = size - 1 - ncuts;
    const Messages split = reassemble(stream, n, data + 1, ncuts);
    const Messages whole = reassemble(stream, n, nullptr, 0);
    if (split != whole)
        std::abort();
    for (const auto &m : whole)
        parse(m);
    return 0;
}
