#include "symbol_list.h"

#include "sim_bytes.h"

#include <algorithm>
#include <cctype>

namespace absim {

namespace {

// Attribute ids of the symbol object clients ask for.
enum : uint16_t {
    kAttrName = 1,           // UINT length + characters, no pad
    kAttrType = 2,           // UINT symbol type word
    kAttrAddress = 3,        // UDINT symbol address
    kAttrObjectAddress = 5,  // UDINT symbol object address
    kAttrSoftwareControl = 6, // UDINT
    kAttrElementSize = 7,    // UINT bytes per element
    kAttrDimensions = 8,     // 3 x UDINT
    kAttrExternalAccess = 10, // USINT, 0 = read/write
};

// Symbol type word: bit 15 structure, bits 13-14 dimension count, bit 12 system symbol.
constexpr uint16_t kTypeStructure = 0x8000;
constexpr uint16_t kTypeSystem = 0x1000;
constexpr uint16_t kProgramType = kTypeSystem | 0x0068;
constexpr uint8_t kShortString = 0xDA;
constexpr size_t kLogixStringBytes = 88;
constexpr size_t kShortStringBytes = 1 + 255;

const char kControllerName[] = "AB_SIM";

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The name of a symbol within scope, or false when it lies outside it.
bool inScope(const Symbol &s, const std::string &scopeKey, std::string *local)
{
    const std::string k = lower(s.name);
    const bool programTag = k.compare(0, 8, "program:") == 0 && s.tag;
    if (scopeKey.empty()) {
        if (programTag)
            return false;
        *local = s.name;
        return true;
    }
    if (!s.tag || k.size() <= scopeKey.size() + 1 || k.compare(0, scopeKey.size(), scopeKey) != 0 ||
        k[scopeKey.size()] != '.')
        return false;
    *local = s.name.substr(scopeKey.size() + 1);
    return true;
}

uint16_t symbolType(Personality p, const Tag &t)
{
    uint16_t type = static_cast<uint16_t>(t.def.type);
    if (t.structure)
        type = static_cast<uint16_t>(kTypeStructure | t.structure->id);
    else if (t.def.type == CipType::String)
        type = p == Personality::Micro800 ? kShortString : kTypeStructure | kStringTemplateId;
    return static_cast<uint16_t>(type | (t.def.dims.size() << 13));
}

uint16_t elementBytes(Personality p, const Tag &t)
{
    if (t.structure)
        return static_cast<uint16_t>(t.structure->size);
    if (t.def.type != CipType::String)
        return static_cast<uint16_t>(elementSize(t.def.type));
    return static_cast<uint16_t>(p == Personality::Micro800 ? kShortStringBytes : kLogixStringBytes);
}

// Appends the attributes of one symbol in the order asked; false for an attribute we lack.
bool putAttributes(Out &o, Personality p, const Symbol &s, const std::string &name, const std::vector<uint16_t> &ids)
{
    for (uint16_t id : ids) {
        switch (id) {
        case kAttrName:
            o.u16(static_cast<uint16_t>(name.size()));
            o.bytes(name.data(), name.size());
            break;
        case kAttrType: o.u16(s.tag ? symbolType(p, *s.tag) : kProgramType); break;
        case kAttrAddress:
        case kAttrObjectAddress:
        case kAttrSoftwareControl: o.u32(0); break;
        case kAttrElementSize: o.u16(s.tag ? elementBytes(p, *s.tag) : 0); break;
        case kAttrDimensions:
            for (size_t i = 0; i < 3; ++i)
                o.u32(s.tag && i < s.tag->def.dims.size() ? s.tag->def.dims[i] : 0);
            break;
        case kAttrExternalAccess: o.u8(0); break;
        default: return false;
        }
    }
    return true;
}

} // namespace

bool hasSymbolObject(Personality p)
{
    return isStringPersonalityLogix(p) || p == Personality::Micro800;
}

std::vector<uint8_t> listSymbols(const CipTarget &t, const std::string &scope, uint32_t start, const uint8_t *data,
                                 size_t n)
{
    In in(data, n);
    const uint16_t count = in.u16();
    std::vector<uint16_t> ids;
    for (uint16_t i = 0; i < count && in.ok(); ++i)
        ids.push_back(in.u16());
    if (!in.ok() || count == 0)
        return statusReply(kGetInstanceAttributeList, 0x13);
    const std::string scopeKey = lower(scope);
    const std::vector<Symbol> symbols = t.store->symbols();
    const bool known = scopeKey.empty() || std::any_of(symbols.begin(), symbols.end(), [&](const Symbol &s) {
                           return !s.tag && lower(s.name) == scopeKey;
                       });
    if (!known)
        return statusReply(kGetInstanceAttributeList, 0x04, {0x0000}); // no such program, as for an unknown tag
    const size_t room = t.replyLimit > 4 ? t.replyLimit - 4 : 0;
    Out o;
    bool more = false;
    std::string local;
    for (const Symbol &s : symbols) {
        if (s.instance < start || !inScope(s, scopeKey, &local))
            continue;
        Out entry;
        entry.u32(s.instance);
        if (!putAttributes(entry, t.personality, s, local, ids))
            return statusReply(kGetInstanceAttributeList, 0x14); // attribute not supported
        if (o.b.size() + entry.b.size() > room) {
            more = true;
            break;
        }
        o.bytes(entry.b.data(), entry.b.size());
    }
    if (more && o.b.empty())
        return statusReply(kGetInstanceAttributeList, 0x11); // one entry exceeds the reply
    std::vector<uint8_t> r = statusReply(kGetInstanceAttributeList, more ? 0x06 : 0x00);
    r.insert(r.end(), o.b.begin(), o.b.end());
    return r;
}

bool symbolTagName(const TagStore &store, const std::string &scope, uint32_t instance, std::string *name)
{
    const std::string scopeKey = lower(scope);
    std::string local;
    for (const Symbol &s : store.symbols()) {
        if (s.instance == instance && s.tag && inScope(s, scopeKey, &local)) {
            *name = s.name;
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> programNameAttributes()
{
    Out o;
    o.u16(static_cast<uint16_t>(sizeof kControllerName - 1));
    o.bytes(kControllerName, sizeof kControllerName - 1);
    return o.b;
}

} // namespace absim
