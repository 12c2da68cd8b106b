#include "pccc_services.h"

#include "sim_bytes.h"

#include <cctype>
#include <cstring>

namespace absim {

namespace {

constexpr uint8_t kStsIllegal = 0x10; // illegal command or format
constexpr uint8_t kStsExtended = 0xF0;
constexpr uint8_t kExtNotUsable = 0x06; // address does not point to something usable
constexpr uint8_t kExtWrongSize = 0x07; // file is wrong size (past its end)
constexpr uint8_t kExtCannotExecute = 0x0E;

struct Kind {
    const char *letters;
    uint8_t type;
    size_t size;
};

const Kind kKinds[] = {{"ST", 0x8D, 84}, {"N", 0x89, 2}, {"B", 0x85, 2}, {"I", 0x8C, 2}, {"O", 0x8B, 2},
                       {"S", 0x84, 2},   {"D", 0x8F, 2}, {"F", 0x8A, 4}, {"L", 0x91, 4}, {"T", 0x86, 6},
                       {"C", 0x87, 6},   {"R", 0x88, 6}, {"A", 0x8E, 1}};

const Kind *kindOf(const std::string &name)
{
    std::string letters;
    for (char c : name) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            break;
        letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const Kind &k : kKinds)
        if (letters == k.letters)
            return &k;
    return nullptr;
}

bool field(In &in, uint16_t *v)
{
    const uint8_t b = in.u8();
    *v = b == 0xFF ? in.u16() : b;
    return in.ok();
}

struct Reply {
    const uint8_t *requestor;
    size_t requestorLen;
    uint16_t tns;
    uint8_t cmd;
    std::vector<uint8_t> build(uint8_t sts, const std::vector<uint8_t> &data = {}, int ext = -1) const
    {
        Out o;
        o.u8(0x4B | 0x80);
        o.u8(0);
        o.u8(0);
        o.u8(0);
        o.bytes(requestor, requestorLen);
        o.u8(cmd | 0x40); // the reply to command CMD is CMD | 0x40
        o.u8(sts);
        o.u16(tns);
        if (ext >= 0)
            o.u8(static_cast<uint8_t>(ext));
        o.bytes(data);
        return o.b;
    }
    std::vector<uint8_t> extended(uint8_t ext) const { return build(kStsExtended, {}, ext); }
};

// A file's bytes and where an element starts.
struct Located {
    Tag *tag = nullptr;
    const Kind *kind = nullptr;
    size_t offset = 0;
    std::vector<uint8_t> image;
};

bool locate(const CipTarget &t, uint16_t file, uint16_t element, uint16_t sub, Located *out)
{
    out->tag = t.store->findFile(file);
    if (!out->tag && t.unknownTag)
        *t.unknownTag = true;
    if (!out->tag || !(out->kind = kindOf(out->tag->def.name)))
        return false;
    out->image = t.store->encode(*out->tag, 0, out->tag->count);
    out->offset = size_t(element) * out->kind->size + size_t(sub) * 2;
    return true;
}

bool storeImage(const CipTarget &t, Located &l)
{
    return t.store->decode(*l.tag, 0, l.tag->count, l.image.data(), l.image.size());
}

std::vector<uint8_t> slc(const CipTarget &t, const Reply &r, uint8_t fnc, In &in)
{
    const uint8_t bytes = in.u8();
    uint16_t file, element, sub = 0;
    if (!field(in, &file))
        return r.build(kStsIllegal);
    const uint8_t type = in.u8();
    if (!field(in, &element) || ((fnc == 0xA2 || fnc == 0xAA || fnc == 0xAB) && !field(in, &sub)))
        return r.build(kStsIllegal);
    Located l;
    if (!locate(t, file, element, sub, &l))
        return r.extended(kExtNotUsable);
    if (l.kind->type != type)
        return r.build(kStsIllegal); // wrong file type for this file
    if (l.offset + bytes > l.image.size())
        return r.extended(kExtWrongSize);
    if (fnc == 0xA2 || fnc == 0xA1)
        return r.build(0, std::vector<uint8_t>(l.image.begin() + long(l.offset),
                                               l.image.begin() + long(l.offset + bytes)));
    if (fnc == 0xAB) {
        const uint8_t *mask = in.take(bytes);
        const uint8_t *data = in.take(bytes);
        if (!mask || !data || in.left())
            return r.build(kStsIllegal);
        for (size_t i = 0; i < bytes; ++i)
            l.image[l.offset + i] = static_cast<uint8_t>((l.image[l.offset + i] & ~mask[i]) | (data[i] & mask[i]));
    } else {
        if (in.left() != bytes)
            return r.build(kStsIllegal);
        std::memcpy(l.image.data() + l.offset, in.take(bytes), bytes);
    }
    return storeImage(t, l) ? r.build(0) : r.build(kStsIllegal);
}

// PLC-5 logical binary address: a level mask, then levels 1..4 as present.
bool plc5Address(In &in, uint16_t *file, uint16_t *element, uint16_t *sub)
{
    const uint8_t mask = in.u8();
    uint16_t levels[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i) && !field(in, &levels[i]))
            return false;
    if (!in.ok() || levels[0] != 0 || !(mask & 0x06))
        return false;
    *file = levels[1];
    *element = levels[2];
    *sub = levels[3];
    return true;
}

std::vector<uint8_t> plc5(const CipTarget &t, const Reply &r, uint8_t fnc, In &in)
{
    uint16_t offset = 0, total = 0;
    if (fnc == 0x01 || fnc == 0x00) {
        offset = in.u16();
        total = in.u16();
    }
    uint16_t file, element, sub;
    if (!plc5Address(in, &file, &element, &sub))
        return r.build(kStsIllegal);
    Located l;
    if (!locate(t, file, element, sub, &l))
        return r.extended(kExtNotUsable);
    const size_t at = l.offset + size_t(offset) * 2;
    if (fnc == 0x01) {
        const uint8_t bytes = in.u8();
        if (!in.ok() || bytes % 2)
            return r.build(kStsIllegal);
        if (at + bytes > l.image.size() || l.offset + size_t(total) * 2 > l.image.size())
            return r.extended(kExtWrongSize);
        return r.build(0, std::vector<uint8_t>(l.image.begin() + long(at), l.image.begin() + long(at + bytes)));
    }
    if (fnc == 0x00) {
        const size_t bytes = in.left();
        if (at + bytes > l.image.size())
            return r.extended(kExtWrongSize);
        std::memcpy(l.image.data() + at, in.take(bytes), bytes);
        return storeImage(t, l) ? r.build(0) : r.build(kStsIllegal);
    }
    // 0x26 read-modify-write: AND / OR mask pairs for consecutive words.
    size_t word = l.offset;
    while (in.left() >= 4) {
        const uint16_t andMask = in.u16();
        const uint16_t orMask = in.u16();
        if (word + 2 > l.image.size())
            return r.extended(kExtWrongSize);
        uint16_t v = static_cast<uint16_t>(l.image[word] | l.image[word + 1] << 8);
        v = static_cast<uint16_t>((v & andMask) | orMask);
        l.image[word] = static_cast<uint8_t>(v);
        l.image[word + 1] = static_cast<uint8_t>(v >> 8);
        word += 2;
    }
    return storeImage(t, l) ? r.build(0) : r.build(kStsIllegal);
}

} // namespace

std::vector<uint8_t> handleExecutePccc(const CipTarget &t, const uint8_t *data, size_t n)
{
    In in(data, n);
    const uint8_t idLen = in.u8();
    if (!in.ok() || idLen < 1 || !in.take(idLen - 1u))
        return statusReply(0x4B, 0x13);
    Reply r{data, idLen, 0, 0};
    const uint8_t cmd = in.u8();
    in.u8(); // STS
    r.tns = in.u16();
    r.cmd = cmd;
    const uint8_t fnc = in.u8();
    if (!in.ok())
        return statusReply(0x4B, 0x13);
    if (!isPcccPersonality(t.personality) || cmd != 0x0F)
        return r.extended(kExtCannotExecute);
    const bool isPlc5 = t.personality == Personality::Plc5;
    if (!isPlc5 && (fnc == 0xA1 || fnc == 0xA2 || fnc == 0xA9 || fnc == 0xAA || fnc == 0xAB))
        return slc(t, r, fnc, in);
    if (isPlc5 && (fnc == 0x00 || fnc == 0x01 || fnc == 0x26))
        return plc5(t, r, fnc, in);
    return r.extended(kExtCannotExecute);
}

std::vector<TagDef> defaultDataFiles(Personality p)
{
    std::vector<TagDef> files = {
        tagDef("O0", CipType::Int, {8}),      tagDef("I1", CipType::Int, {8}),       tagDef("S2", CipType::Int, {64}),
        tagDef("B3", CipType::Int, {32}),     tagDef("T4", CipType::Int, {3 * 16}),  tagDef("C5", CipType::Int, {3 * 16}),
        tagDef("R6", CipType::Int, {3 * 8}),  tagDef("N7", CipType::Int, {100}),     tagDef("F8", CipType::Real, {100}),
        tagDef("ST9", CipType::String, {10}),
    };
    if (p == Personality::MicroLogix)
        files.push_back(tagDef("L10", CipType::Dint, {32})); // long integers exist on MicroLogix only
    return files;
}

} // namespace absim
