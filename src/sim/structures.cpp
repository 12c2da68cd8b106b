#include "structures.h"

#include "sim_bytes.h"
#include "tag_store.h"

#include <algorithm>
#include <cctype>

namespace absim {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

uint32_t roundUp(uint32_t v, uint32_t to)
{
    return (v + to - 1) / to * to;
}

constexpr uint16_t kArrayBit = 0x2000;
constexpr uint16_t kStructureBit = 0x8000;
constexpr uint16_t kFirstUserId = 0x100;
constexpr uint16_t kLastUserId = 0xEFF;

// The structure handle. Logix computes a CRC over the members; clients only echo it, so any
// value derived from the layout serves, as long as a changed layout changes it.
uint16_t handleOf(const uint8_t *p, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint16_t(p[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc && crc != kStringTemplateId ? crc : 0x5A3C;
}

// The two letters per member after ";n" in a user type's name. Their meaning is not
// published; these are the pairs seen on controllers for such members.
const char *lettersOf(const Member &m)
{
    if (m.hidden)
        return "EB";
    if (m.isBool())
        return "EC";
    if (!m.structure && (m.atomic == CipType::Real || m.atomic == CipType::Lreal))
        return "HA";
    return "EA";
}

// Records, then the name and the member names, zero-padded to what the definition size holds.
void buildTemplate(StructType &t, const std::string &name, size_t definitionWords)
{
    Out o;
    for (const Member &m : t.members) {
        o.u16(static_cast<uint16_t>(m.isBool() ? m.bit : m.elements));
        o.u16(m.recordType());
        o.u32(m.offset);
    }
    o.bytes(name.data(), name.size());
    o.u8(0);
    for (const Member &m : t.members) {
        o.bytes(m.name.data(), m.name.size());
        o.u8(0);
    }
    // A real controller's definition size covers the payload with 20 to 23 bytes to spare:
    // report the larger, so that every client's request length reaches the last name.
    t.definitionWords = uint32_t(definitionWords ? definitionWords : (o.size() + 23 + 3) / 4);
    t.templateData = o.b;
    t.templateData.resize(t.definitionWords * 4 - 20, 0);
}

} // namespace

size_t Member::elementBytes() const
{
    return structure ? structure->size : elementSize(atomic);
}

uint16_t Member::recordType() const
{
    const uint16_t array = elements ? kArrayBit : 0;
    if (structure)
        return uint16_t(kStructureBit | array | structure->id);
    return uint16_t(array | static_cast<uint8_t>(atomic));
}

const Member *StructType::member(const std::string &n) const
{
    const std::string k = lower(n);
    for (const Member &m : members)
        if (lower(m.name) == k)
            return &m;
    return nullptr;
}

TypeRegistry::TypeRegistry()
{
    // The predefined STRING: DINT LEN, SINT DATA[82], 2 pad bytes; its name has no ";n" part
    // and the controller reports a definition of 15 words.
    StructType s;
    s.name = "STRING";
    s.id = s.handle = kStringTemplateId;
    s.size = 88;
    Member len;
    len.name = "LEN";
    len.atomic = CipType::Dint;
    Member data;
    data.name = "DATA";
    data.elements = 82;
    data.offset = 4;
    s.members = {len, data};
    buildTemplate(s, "ASCIISTRING82", 15);
    types_.push_back(s);
}

const StructType *TypeRegistry::find(const std::string &name) const
{
    const std::string k = lower(name);
    for (const StructType &t : types_)
        if (lower(t.name) == k)
            return &t;
    return nullptr;
}

const StructType *TypeRegistry::byId(uint16_t id) const
{
    for (const StructType &t : types_)
        if (t.id == id)
            return &t;
    return nullptr;
}

bool TypeRegistry::build(const std::vector<StructDef> &defs, std::string *error)
{
    if (defs.size() > size_t(kLastUserId - kFirstUserId + 1)) {
        *error = "too many structure types";
        return false;
    }
    std::vector<int> state(defs.size(), 0);
    for (size_t i = 0; i < defs.size(); ++i)
        if (!layOut(defs, i, state, error))
            return false;
    return true;
}

bool TypeRegistry::layOut(const std::vector<StructDef> &defs, size_t index, std::vector<int> &state,
                          std::string *error)
{
    if (state[index] == 2)
        return true;
    const StructDef &def = defs[index];
    if (state[index] == 1) {
        *error = "structure " + def.name + " contains itself";
        return false;
    }
    state[index] = 1;
    if (def.name.empty() || def.members.empty() || find(def.name)) {
        *error = "structure \"" + def.name + "\": no name, no members, or defined twice";
        return false;
    }
    StructType t;
    t.name = def.name;
    t.id = uint16_t(kFirstUserId + index);
    uint32_t offset = 0;
    bool inHost = false; // the previous member was a BOOL: the next one may share its host
    uint8_t nextBit = 0;
    for (const MemberDef &md : def.members) {
        Member m;
        m.name = md.name;
        const uint32_t n = md.dims.empty() ? 0 : md.dims[0];
        if (md.name.empty() || t.member(md.name) || md.dims.size() > 1 || (!md.dims.empty() && n == 0)) {
            *error = "structure " + def.name + ": member \"" + md.name + "\" unnamed, repeated or of bad dimensions";
            return false;
        }
        CipType atomic;
        if (parseCipType(md.type, &atomic) && !isStringType(atomic)) {
            if (atomic == CipType::Bool && n == 0) {
                if (!inHost || nextBit == 8) {
                    // Up to eight BOOLs in a row share one hidden SINT, named after the type
                    // and the host's own record index.
                    Member host;
                    host.name = "ZZZZZZZZZZ" + def.name.substr(0, 10) + std::to_string(t.members.size());
                    host.hidden = true;
                    host.offset = offset++;
                    t.members.push_back(host);
                    inHost = true;
                    nextBit = 0;
                }
                m.atomic = CipType::Bool;
                m.bit = nextBit++;
                m.offset = t.members.back().offset;
                t.members.push_back(m);
                continue;
            }
            // A BOOL array is a DWORD array, as at the top level.
            m.atomic = atomic == CipType::Bool ? CipType::Dword : atomic;
            m.elements = atomic == CipType::Bool ? (n + 31) / 32 : n;
        } else {
            const auto other = std::find_if(defs.begin(), defs.end(),
                                            [&](const StructDef &d) { return lower(d.name) == lower(md.type); });
            if (other != defs.end() && !layOut(defs, size_t(other - defs.begin()), state, error))
                return false;
            m.structure = find(md.type);
            if (!m.structure) {
                *error = "structure " + def.name + ": member " + md.name + " of unknown type " + md.type;
                return false;
            }
            m.elements = n;
        }
        inHost = false;
        const uint32_t es = uint32_t(m.elementBytes());
        // Arrays and structures start on 4 bytes, atomics on their own size.
        const uint32_t align = m.structure || m.elements ? std::max<uint32_t>(4, m.structure ? 4 : es) : es;
        m.offset = roundUp(offset, align);
        offset = m.offset + es * std::max<uint32_t>(1, m.elements);
        t.members.push_back(m);
    }
    t.size = roundUp(offset, 4);
    std::string name = def.name + ";n";
    for (const Member &m : t.members)
        name += lettersOf(m);
    buildTemplate(t, name, 0);
    const size_t payload = t.templateData.size();
    t.handle = handleOf(t.templateData.data(), payload);
    types_.push_back(t);
    state[index] = 2;
    return true;
}

} // namespace absim
