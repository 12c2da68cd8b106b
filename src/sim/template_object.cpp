#include "template_object.h"

#include "sim_bytes.h"

#include <algorithm>

namespace absim {

namespace {

enum : uint8_t { kGetAttributeList = 0x03, kReadTemplate = 0x4C };

// Clients decode the reply by position, so every attribute has its fixed width.
enum : uint16_t {
    kAttrHandle = 1,          // UINT
    kAttrMemberCount = 2,     // UINT, hidden hosts included
    kAttrLegacySize = 3,      // UINT structure bytes
    kAttrDefinitionWords = 4, // UDINT
    kAttrWireSize = 5,        // UDINT bytes per element in reads
};

std::vector<uint8_t> attributeList(const StructType &st, In &in)
{
    const uint16_t count = in.u16();
    Out o;
    o.u16(count);
    bool failed = false;
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t id = in.u16();
        if (!in.ok())
            return statusReply(kGetAttributeList, 0x1C); // fewer ids than the count says
        o.u16(id);
        switch (id) {
        case kAttrHandle: o.u16(0); o.u16(st.handle); break;
        case kAttrMemberCount: o.u16(0); o.u16(uint16_t(st.members.size())); break;
        case kAttrLegacySize: o.u16(0); o.u16(uint16_t(st.size)); break;
        case kAttrDefinitionWords: o.u16(0); o.u32(st.definitionWords); break;
        case kAttrWireSize: o.u16(0); o.u32(st.size); break;
        default:
            o.u16(0x14); // attribute not supported: no value follows
            failed = true;
        }
    }
    if (!in.ok() || count == 0)
        return statusReply(kGetAttributeList, 0x13);
    std::vector<uint8_t> r = statusReply(kGetAttributeList, failed ? 0x0A : 0x00);
    r.insert(r.end(), o.b.begin(), o.b.end());
    return r;
}

// Raw template bytes from the offset asked; status 0x06 when they do not all fit the reply.
std::vector<uint8_t> readTemplate(const CipTarget &t, const StructType &st, In &in)
{
    const uint32_t offset = in.u32();
    const uint16_t count = in.u16();
    if (!in.ok())
        return statusReply(kReadTemplate, 0x13);
    const std::vector<uint8_t> &data = st.templateData;
    if (offset >= data.size())
        return statusReply(kReadTemplate, 0xFF, {0x2104});
    const size_t room = t.replyLimit > 4 ? (t.replyLimit - 4) / 4 * 4 : 0;
    const size_t want = std::min<size_t>(count, data.size() - offset);
    const size_t n = std::min(want, room);
    std::vector<uint8_t> r = statusReply(kReadTemplate, n < want ? 0x06 : 0x00);
    r.insert(r.end(), data.begin() + long(offset), data.begin() + long(offset + n));
    return r;
}

} // namespace

std::vector<uint8_t> templateService(const CipTarget &t, uint8_t service, uint32_t instance, const uint8_t *data,
                                     size_t n)
{
    const StructType *st = instance <= 0xFFFF ? t.store->types().byId(uint16_t(instance)) : nullptr;
    if (service != kGetAttributeList && service != kReadTemplate)
        return statusReply(service, 0x08);
    if (!st)
        return statusReply(service, 0x05, {0x0000});
    In in(data, n);
    return service == kGetAttributeList ? attributeList(*st, in) : readTemplate(t, *st, in);
}

} // namespace absim
