#pragma once
// The controller's tags: typed element storage, and the wire image of a range of elements as
// each personality lays it out in Read Tag / Write Tag data.

#include "absim/simulator.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace absim {

struct Tag {
    TagDef def;
    size_t count = 1;                 // elements in all dimensions
    std::vector<uint8_t> data;        // numeric types: count * elementSize, little-endian
    std::vector<std::string> strings; // STRING tags
    uint8_t errorGeneral = 0;         // injected fault for this tag
    uint16_t errorExt = 0;
    uint32_t instance = 0;            // symbol object instance, fixed when the tag is added
};

// An entry of the symbol object: a tag, or a program (tag null) that holds tags of its own.
struct Symbol {
    std::string name; // as configured: "Counter", "Program:Main.Speed", "Program:Main"
    uint32_t instance = 0;
    const Tag *tag = nullptr;
};

size_t elementSize(CipType t);
bool isStringPersonalityLogix(Personality p);
bool isPcccPersonality(Personality p);

class TagStore {
public:
    // cipStrings: STRING tags of Logix personalities travel as CIP STRING (0xD0, UINT length).
    explicit TagStore(Personality p, bool cipStrings = false) : personality_(p), cipStrings_(cipStrings) {}

    bool add(const TagDef &def);          // false for a bad name or an initial value that does not parse
    Tag *find(const std::string &name);   // case-insensitive, as Logix names are
    const Tag *find(const std::string &name) const;
    void clearErrors();
    // PCCC: the data file with that number ("N7" is file 7), or null.
    Tag *findFile(uint16_t number);
    size_t size() const { return tags_.size(); }
    // Every tag and program, by instance.
    std::vector<Symbol> symbols() const;

    // Type field of reads and writes for the tag.
    std::vector<uint8_t> typeBytes(const Tag &t) const;
    // Wire image of elements [first, first + n).
    std::vector<uint8_t> encode(const Tag &t, size_t first, size_t n) const;
    // Stores a wire image of elements [first, first + n). False when the bytes do not fit them.
    bool decode(Tag &t, size_t first, size_t n, const uint8_t *p, size_t size) const;
    // Bytes one element takes in the wire image (0: variable, strings of counted layouts).
    size_t wireElementSize(const Tag &t) const;

    static bool setElementText(Tag &t, size_t index, const std::string &text);

private:
    // How a string element travels.
    enum class StringWire { Logix, Pccc, Short, Counted };
    StringWire stringWire(const Tag &t) const;

    static std::string key(const std::string &name);
    Personality personality_;
    bool cipStrings_;
    std::unordered_map<std::string, Tag> tags_;
    std::unordered_map<uint16_t, std::string> files_; // PCCC file number to tag key
    std::unordered_map<std::string, Symbol> programs_; // by key of "Program:<name>"
    uint32_t nextInstance_ = 1;
};

} // namespace absim
