#include "tag_services.h"

#include "pccc_services.h"
#include "sim_bytes.h"
#include "symbol_list.h"
#include "template_object.h"

#include <algorithm>
#include <string>

namespace absim {

namespace {

enum : uint8_t {
    kGetAttributesAll = 0x01,
    kMultipleService = 0x0A,
    kReadTag = 0x4C,
    kWriteTag = 0x4D,
    kReadModifyWrite = 0x4E,
    kReadFragmented = 0x52,
    kWriteFragmented = 0x53,
};

struct TagPath {
    std::vector<PathPart> parts; // symbolic names and element indexes, in order
    size_t partsBeforeLogical = 0;
    bool logical = false;
    uint32_t cls = 0, instance = 0;
    // After normalize(): the tag's full name and the parts below it.
    std::string base;
    std::vector<PathPart> rest;
};

// Splits the request path into symbolic names, element indexes and class / instance.
bool parsePath(In &in, size_t words, TagPath *out)
{
    const uint8_t *p = in.take(words * 2);
    if (!p)
        return false;
    In path(p, words * 2);
    auto index = [out](uint32_t i) {
        if (out->parts.empty() || !out->parts.back().name.empty())
            out->parts.push_back(PathPart{});
        out->parts.back().index.push_back(i);
    };
    while (path.left() > 0) {
        const uint8_t seg = path.u8();
        if (seg == 0x91) {
            const uint8_t len = path.u8();
            const uint8_t *chars = path.take(len);
            if (!chars || (len % 2 && !path.take(1)))
                return false;
            out->parts.push_back(PathPart{std::string(reinterpret_cast<const char *>(chars), len), {}});
        } else if (seg == 0x28) {
            index(path.u8());
        } else if (seg == 0x29) {
            path.u8();
            index(path.u16());
        } else if (seg == 0x2A) {
            path.u8();
            index(path.u32());
        } else if (seg == 0x20 || seg == 0x24) {
            (seg == 0x20 ? out->cls : out->instance) = path.u8();
            out->logical = true;
            out->partsBeforeLogical = out->parts.size();
        } else if (seg == 0x21 || seg == 0x25) {
            path.u8();
            (seg == 0x21 ? out->cls : out->instance) = path.u16();
            out->logical = true;
            out->partsBeforeLogical = out->parts.size();
        } else {
            return false;
        }
        if (!path.ok())
            return false;
    }
    return true;
}

// The symbolic scope in front of a logical segment: the program whose symbols are meant.
std::string scopeOf(const TagPath &path)
{
    std::string scope;
    for (size_t i = 0; i < path.partsBeforeLogical; ++i)
        if (!path.parts[i].name.empty())
            scope += (scope.empty() ? "" : ".") + path.parts[i].name;
    return scope;
}

void normalize(TagPath *path)
{
    if (path->parts.empty() || path->parts[0].name.empty())
        return;
    const size_t base = baseParts(path->parts);
    path->base = path->parts[0].name + (base == 2 ? "." + path->parts[1].name : "");
    path->rest.assign(path->parts.begin() + long(base), path->parts.end());
}

std::vector<uint8_t> reply(uint8_t service, uint8_t general, const std::vector<uint16_t> &ext,
                           const std::vector<uint8_t> &data = {})
{
    Out o;
    o.u8(service | 0x80);
    o.u8(0);
    o.u8(general);
    o.u8(static_cast<uint8_t>(ext.size()));
    for (uint16_t e : ext)
        o.u16(e);
    o.bytes(data);
    return o.b;
}

// What a path names: elements of a plain tag from `first` on, or a place below a structure tag.
struct Resolved {
    Tag *tag = nullptr;
    size_t first = 0;
    bool indexed = false;
    bool structured = false;
    Place place;
};

// Empty on success, else the reply to send.
std::vector<uint8_t> resolve(const CipTarget &t, uint8_t service, const TagPath &path, Resolved *r)
{
    r->tag = t.store->find(path.base);
    if (!r->tag) {
        if (t.unknownTag)
            *t.unknownTag = true;
        return reply(service, 0x04, {0x0000}); // unknown tag, as Logix answers it
    }
    if (r->tag->errorGeneral)
        return reply(service, r->tag->errorGeneral, r->tag->errorExt ? std::vector<uint16_t>{r->tag->errorExt}
                                                                     : std::vector<uint16_t>{});
    if (r->tag->structure) {
        r->structured = true;
        switch (t.store->place(*r->tag, path.rest.data(), path.rest.size(), &r->place)) {
        case PlaceError::None: return {};
        case PlaceError::BadPath: return reply(service, 0x04, {0x0000});
        case PlaceError::OutOfRange: return reply(service, 0x05, {0x0000});
        }
    }
    if (path.rest.empty())
        return {};
    const std::vector<uint32_t> &dims = r->tag->def.dims;
    const std::vector<uint32_t> &indices = path.rest[0].index;
    if (path.rest.size() > 1 || !path.rest[0].name.empty())
        return reply(service, 0x04, {0x0000}); // a member of a tag that has none
    if (dims.empty() || indices.size() != dims.size())
        return reply(service, 0x05, {0x0000});
    size_t linear = 0;
    for (size_t i = 0; i < dims.size(); ++i) {
        if (indices[i] >= dims[i])
            return reply(service, 0x05, {0x0000});
        linear = linear * dims[i] + indices[i];
    }
    r->first = linear;
    r->indexed = true;
    return {};
}

std::vector<uint8_t> readTag(const CipTarget &t, uint8_t service, const TagPath &path, In &in)
{
    const uint16_t count = in.u16();
    uint32_t offset = 0;
    if (service == kReadFragmented)
        offset = in.u32();
    if (!in.ok())
        return reply(service, 0x13, {});
    Resolved r;
    std::vector<uint8_t> err = resolve(t, service, path, &r);
    if (!err.empty())
        return err;
    size_t n = count;
    // Omron: an array named without an index and a count of 1 is the whole array.
    if (t.personality == Personality::OmronNJ && !r.indexed && count == 1)
        n = r.tag->count;
    else if (t.personality == Personality::OmronNJ && !r.indexed && count > 1 && r.tag->count > 1)
        return reply(service, 0x20, {}); // invalid parameter: the whole array takes a count of 1
    const size_t available = r.structured ? r.place.available : r.tag->count - r.first;
    if (n == 0 || n > available)
        return reply(service, 0xFF, {0x2105});
    const std::vector<uint8_t> type = r.structured ? t.store->placeType(r.place) : t.store->typeBytes(*r.tag);
    const std::vector<uint8_t> image =
        r.structured ? t.store->readPlace(r.place, n) : t.store->encode(*r.tag, r.first, n);
    if (offset > image.size())
        return reply(service, 0xFF, {0x2105});
    const size_t room = t.replyLimit > 4 + type.size() ? t.replyLimit - 4 - type.size() : 0;
    size_t chunk = image.size() - offset;
    bool more = false;
    if (chunk > room) {
        const size_t es = r.structured ? r.place.elementBytes() : t.store->wireElementSize(*r.tag);
        chunk = es && es <= room ? room / es * es : room;
        more = true;
    }
    std::vector<uint8_t> data = type;
    data.insert(data.end(), image.begin() + long(offset), image.begin() + long(offset + chunk));
    return reply(service, more ? 0x06 : 0x00, {}, data);
}

bool typeMatches(const std::vector<uint8_t> &want, In &in)
{
    const uint8_t *first = in.take(2);
    if (!first)
        return false;
    std::vector<uint8_t> got(first, first + 2);
    if (first[0] >= 0xA0 && first[0] <= 0xA3) {
        const uint8_t *more = in.take(first[1]);
        if (!more)
            return false;
        got.insert(got.end(), more, more + first[1]);
    }
    return got == want;
}

std::vector<uint8_t> writeTag(const CipTarget &t, uint8_t service, const TagPath &path, In &in)
{
    Resolved r;
    std::vector<uint8_t> err = resolve(t, service, path, &r);
    if (!err.empty())
        return err;
    const std::vector<uint8_t> type = r.structured ? t.store->placeType(r.place) : t.store->typeBytes(*r.tag);
    if (!typeMatches(type, in))
        return reply(service, in.ok() ? 0xFF : 0x13, in.ok() ? std::vector<uint16_t>{0x2107} : std::vector<uint16_t>{});
    const uint16_t count = in.u16();
    uint32_t offset = 0;
    if (service == kWriteFragmented)
        offset = in.u32();
    if (!in.ok())
        return reply(service, 0x13, {});
    const size_t available = r.structured ? r.place.available : r.tag->count - r.first;
    if (count == 0 || count > available)
        return reply(service, 0xFF, {0x2105});
    const size_t size = in.left();
    const uint8_t *data = in.take(size);
    if (service == kWriteTag) {
        if (r.structured)
            return reply(service, t.store->writePlace(r.place, count, data, size) ? 0 : 0x13, {});
        if (!t.store->decode(*r.tag, r.first, count, data, size)) {
            const size_t es = t.store->wireElementSize(*r.tag);
            if (es && size < es * count)
                return reply(service, 0x13, {});
            return reply(service, 0xFF, {0x2105});
        }
        return reply(service, 0, {});
    }
    std::vector<uint8_t> image =
        r.structured ? t.store->readPlace(r.place, count) : t.store->encode(*r.tag, r.first, count);
    if (offset > image.size() || size > image.size() - offset)
        return reply(service, 0xFF, {0x2104});
    std::copy(data, data + size, image.begin() + long(offset));
    const bool stored = r.structured ? t.store->writePlace(r.place, count, image.data(), image.size())
                                     : t.store->decode(*r.tag, r.first, count, image.data(), image.size());
    return reply(service, stored ? 0 : 0xFF, stored ? std::vector<uint16_t>{} : std::vector<uint16_t>{0x2104});
}

std::vector<uint8_t> readModifyWrite(const CipTarget &t, const TagPath &path, In &in)
{
    Resolved r;
    std::vector<uint8_t> err = resolve(t, kReadModifyWrite, path, &r);
    if (!err.empty())
        return err;
    // The first `size` bytes of each mask count; pycomm3 sends an AND mask twice that long.
    const uint16_t size = in.u16();
    const uint8_t *orMask = in.take(size);
    const uint8_t *andMask = in.take(size);
    if (!in.ok())
        return reply(kReadModifyWrite, 0x13, {});
    const bool integer = r.structured ? !r.place.structure : !isStringType(r.tag->def.type);
    const size_t es = !integer ? 0 : r.structured ? r.place.elementBytes() : elementSize(r.tag->def.type);
    if (!es || size > es || size > 12)
        return reply(kReadModifyWrite, 0x03, {});
    uint8_t *p = r.structured ? r.tag->data.data() + r.place.offset : r.tag->data.data() + r.first * es;
    for (size_t i = 0; i < size; ++i)
        p[i] = static_cast<uint8_t>((p[i] | orMask[i]) & andMask[i]);
    return reply(kReadModifyWrite, 0, {});
}

std::vector<uint8_t> multipleService(const CipTarget &t, In &in)
{
    if (t.personality == Personality::Micro800)
        return reply(kMultipleService, 0x08, {});
    const uint8_t *base = in.here();
    const size_t total = in.left();
    const uint16_t n = in.u16();
    std::vector<uint16_t> offsets;
    for (uint16_t i = 0; i < n; ++i)
        offsets.push_back(in.u16());
    if (!in.ok() || n == 0)
        return reply(kMultipleService, 0x13, {});
    std::vector<std::vector<uint8_t>> replies;
    bool failed = false;
    for (uint16_t i = 0; i < n; ++i) {
        const size_t start = offsets[i];
        const size_t end = i + 1 < n ? offsets[i + 1] : total;
        if (start < 2u + 2u * n || end > total || start >= end)
            return reply(kMultipleService, 0x13, {});
        CipTarget inner = t;
        replies.push_back(handleCpuRequest(inner, base + start, end - start));
        failed |= replies.back()[2] != 0;
    }
    Out o;
    o.u16(n);
    size_t at = 2 + 2 * size_t(n);
    for (const auto &r : replies) {
        o.u16(static_cast<uint16_t>(at));
        at += r.size();
    }
    for (const auto &r : replies)
        o.bytes(r);
    return reply(kMultipleService, failed ? 0x1E : 0x00, {}, o.b);
}

std::vector<uint8_t> identityAttributes(const Identity &id)
{
    Out o;
    o.u16(id.vendorId);
    o.u16(id.deviceType);
    o.u16(id.productCode);
    o.u8(id.revMajor);
    o.u8(id.revMinor);
    o.u16(id.status);
    o.u32(id.serial);
    o.u8(static_cast<uint8_t>(id.productName.size()));
    o.bytes(id.productName.data(), id.productName.size());
    return o.b;
}

} // namespace

std::vector<uint8_t> statusReply(uint8_t service, uint8_t general, std::vector<uint16_t> ext)
{
    return reply(service, general, ext);
}

std::vector<uint8_t> handleCpuRequest(const CipTarget &t, const uint8_t *req, size_t n)
{
    In in(req, n);
    const uint8_t service = in.u8();
    const uint8_t words = in.u8();
    if (!in.ok())
        return reply(service & 0x7F, 0x13, {});
    TagPath path;
    if (!parsePath(in, words, &path))
        return reply(service, in.ok() ? 0x04 : 0x26, {0x0000});
    if (path.logical && path.cls == kSymbolClass && hasSymbolObject(t.personality)) {
        const std::string scope = scopeOf(path);
        if (service == kGetInstanceAttributeList)
            return listSymbols(t, scope, path.instance, in.here(), in.left());
        // The symbol instance names the tag; any names and indexes after it go below it.
        if (!symbolTagName(*t.store, scope, path.instance, &path.base))
            return reply(service, 0x05, {0x0000});
        path.rest.assign(path.parts.begin() + long(path.partsBeforeLogical), path.parts.end());
    } else if (path.logical) {
        if (!path.parts.empty())
            return reply(service, 0x04, {0x0000});
        if (path.cls == kTemplateClass && hasSymbolObject(t.personality) && t.personality != Personality::Micro800)
            return templateService(t, service, path.instance, in.here(), in.left());
        if (path.cls == 0x02 && path.instance == 1 && service == kMultipleService)
            return multipleService(t, in);
        if (path.cls == 0x67 && path.instance == 1 && service == 0x4B)
            return handleExecutePccc(t, in.here(), in.left());
        if (path.cls == 0x01 && path.instance == 1 && service == kGetAttributesAll)
            return reply(service, 0, {}, identityAttributes(*t.identity));
        if (path.cls == kProgramNameClass && path.instance == 1 && service == kGetAttributesAll &&
            hasSymbolObject(t.personality))
            return reply(service, 0, {}, programNameAttributes());
        if (path.cls == 0x02 || path.cls == 0x01)
            return reply(service, 0x08, {});
        return reply(service, 0x05, {0x0000});
    } else {
        normalize(&path);
    }
    if (path.base.empty())
        return reply(service, 0x04, {0x0000});
    const bool omron = t.personality == Personality::OmronNJ;
    switch (service) {
    case kReadTag: return readTag(t, service, path, in);
    case kReadFragmented: return omron ? reply(service, 0x08, {}) : readTag(t, service, path, in);
    case kWriteTag: return writeTag(t, service, path, in);
    case kWriteFragmented: return omron ? reply(service, 0x08, {}) : writeTag(t, service, path, in);
    case kReadModifyWrite: return readModifyWrite(t, path, in);
    default: return reply(service, 0x08, {});
    }
}

} // namespace absim
