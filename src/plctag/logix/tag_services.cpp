#include "logix/tag_services.h"

namespace plctag::logix {

void writeReadTag(wire::Writer &w, const uint8_t *path, size_t pathLen, uint16_t count)
{
    cip::writeRequestHead(w, cip::kReadTag, path, pathLen);
    w.u16(count);
}

void writeReadTagFragmented(wire::Writer &w, const uint8_t *path, size_t pathLen, uint16_t count, uint32_t offset)
{
    cip::writeRequestHead(w, cip::kReadTagFragmented, path, pathLen);
    w.u16(count);
    w.u32(offset);
}

void writeWriteTag(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *type, size_t typeLen,
                   uint16_t count, const uint8_t *data, size_t dataLen)
{
    cip::writeRequestHead(w, cip::kWriteTag, path, pathLen);
    w.bytes(type, typeLen);
    w.u16(count);
    w.bytes(data, dataLen); // exactly the element bytes: padding draws "too much data"
}

void writeWriteTagFragmented(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *type,
                             size_t typeLen, uint16_t count, uint32_t offset, const uint8_t *data, size_t dataLen)
{
    cip::writeRequestHead(w, cip::kWriteTagFragmented, path, pathLen);
    w.bytes(type, typeLen);
    w.u16(count);
    w.u32(offset);
    w.bytes(data, dataLen);
}

void writeReadModifyWrite(wire::Writer &w, const uint8_t *path, size_t pathLen, const uint8_t *orMask,
                          const uint8_t *andMask, uint16_t maskSize)
{
    cip::writeRequestHead(w, cip::kReadModifyWriteTag, path, pathLen);
    w.u16(maskSize);
    w.bytes(orMask, maskSize);
    w.bytes(andMask, maskSize);
}

bool splitReadReply(const cip::MrReply &reply, ReadData *out)
{
    if (reply.size < 2)
        return false;
    size_t typeLen = 2;
    uint8_t t = reply.data[0];
    if (t >= kTypeAbbrevStruct && t <= kTypeArray)
        typeLen = 2u + reply.data[1];
    if (typeLen > reply.size || typeLen > kMaxTypeBytes)
        return false;
    out->type = reply.data;
    out->typeLen = typeLen;
    out->data = reply.data + typeLen;
    out->size = reply.size - typeLen;
    return true;
}

} // namespace plctag::logix
