// PCCC over CIP (Execute PCCC to the PCCC object) for SLC 500 / MicroLogix (protected typed
// logical read / write with three address fields) and PLC-5 (word range read / write).
#pragma once

#include "protocol/protocol.h"

namespace plctag::pccc {

class PcccProtocol final : public Protocol {
public:
    enum class Dialect { Slc, Plc5 };
    explicit PcccProtocol(Dialect d) : dialect_(d) {}

    int compile(const TagSpec &spec, TagAddress *out) const override;
    int initialSize(const TagAddress &addr) const override { return addr.elemCount * addr.elemSize; }
    bool writeNeedsType() const override { return false; }
    int encodeRead(const TagAddress &addr, uint32_t offset, const RequestEnv &env, wire::Writer &w) const override;
    int decodeRead(const TagAddress &addr, const uint8_t *reply, size_t n, ReadChunk *out) const override;
    int encodeWrite(const TagAddress &addr, const uint8_t *data, size_t size, uint32_t offset,
                    const RequestEnv &env, wire::Writer &w, size_t *consumed) const override;
    int decodeWrite(const TagAddress &addr, const uint8_t *reply, size_t n) const override;
    // The reply carries the request's TNS: a late or repeated answer to another is not ours.
    bool answers(const uint8_t *request, size_t rn, const uint8_t *reply, size_t n) const override;

private:
    Dialect dialect_;
};

const Protocol &slcProtocol();
const Protocol &plc5Protocol();

// Application data one PCCC request carries at most.
constexpr size_t kMaxData = 236;

} // namespace plctag::pccc
