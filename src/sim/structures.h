#pragma once
// Structure types as a Logix controller lays them out: member offsets and alignment, BOOLs in
// hidden SINT hosts, the structure handle, and the template object's data (member records,
// then the type name and the member names) that clients upload.

#include "absim/simulator.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace absim {

struct StructType;

struct Member {
    std::string name;
    bool hidden = false;                   // a BOOL host: sent on the wire, not shown by clients
    CipType atomic = CipType::Sint;        // when structure is null
    const StructType *structure = nullptr; // a nested structure or STRING
    uint32_t elements = 0;                 // 0: scalar; else array length (DWORDs for a BOOL array)
    uint8_t bit = 0;                       // a BOOL: its bit in the host byte at offset
    uint32_t offset = 0;

    bool isBool() const { return !structure && atomic == CipType::Bool; }
    size_t elementBytes() const;
    uint16_t recordType() const; // the template record's type word
};

struct StructType {
    std::string name;
    uint16_t id = 0;     // template instance, the low 12 bits of the symbol type
    uint16_t handle = 0; // what follows A0 02 in reads and writes
    uint32_t size = 0;   // bytes of one element on the wire
    uint32_t definitionWords = 0;
    std::vector<Member> members;      // template records in order, hidden hosts included
    std::vector<uint8_t> templateData; // definitionWords * 4 - 20 bytes: records, names, zero pad

    const Member *member(const std::string &name) const; // case-insensitive, as Logix names are
};

constexpr uint16_t kStringTemplateId = 0x0FCE; // the predefined STRING: id and handle alike

class TypeRegistry {
public:
    TypeRegistry();
    // Lays out every type; a type may name types defined after it, not itself.
    bool build(const std::vector<StructDef> &defs, std::string *error);
    const StructType *find(const std::string &name) const; // STRING included
    const StructType *byId(uint16_t id) const;

private:
    bool layOut(const std::vector<StructDef> &defs, size_t index, std::vector<int> &state, std::string *error);
    std::deque<StructType> types_; // stable addresses: members point at their types
};

} // namespace absim
