#pragma once
// The controller's tags: typed element storage, and the wire image of a range of elements as
// each personality lays it out in Read Tag / Write Tag data.

#include "absim/simulator.h"
#include "structures.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace absim {

size_t elementSize(CipType t);

struct Tag {
    TagDef def;
    size_t count = 1;                 // elements in all dimensions
    std::vector<uint8_t> data;        // numeric types: count * elementSize, little-endian
    std::vector<std::string> strings; // STRING tags
    uint8_t errorGeneral = 0;         // injected fault for this tag
    uint16_t errorExt = 0;
    uint32_t instance = 0;            // symbol object instance, fixed when the tag is added
    const StructType *structure = nullptr; // a structure tag: data holds count * structure->size bytes
};

// One step of a tag path: a name, or (name empty) the indexes of one array element.
struct PathPart {
    std::string name;
    std::vector<uint32_t> index;
};

// "Pumps[2].Flow" as path parts; false when it does not parse.
bool parseTextPath(const std::string &text, std::vector<PathPart> *out);
// How many leading parts name the tag itself: two for "Program:Main" "Speed", else one.
size_t baseParts(const std::vector<PathPart> &parts);

// The storage a path below a structure tag names: one element and what follows it in its array.
struct Place {
    Tag *tag = nullptr;
    size_t offset = 0;                     // bytes into tag->data
    CipType atomic = CipType::Sint;        // when structure is null
    const StructType *structure = nullptr;
    int bit = -1;                          // a BOOL member: its bit in the byte at offset
    size_t available = 1;                  // elements from this one to the end of its array
    size_t elementBytes() const { return bit >= 0 ? 1 : structure ? structure->size : elementSize(atomic); }
};

enum class PlaceError { None, BadPath, OutOfRange };

// An entry of the symbol object: a tag, or a program (tag null) that holds tags of its own.
struct Symbol {
    std::string name; // as configured: "Counter", "Program:Main.Speed", "Program:Main"
    uint32_t instance = 0;
    const Tag *tag = nullptr;
};

bool isStringPersonalityLogix(Personality p);
bool isPcccPersonality(Personality p);

class TagStore {
public:
    // cipStrings: STRING tags of Logix personalities travel as CIP STRING (0xD0, UINT length).
    // boolTrue: the byte a true BOOL reads as (0xFF on Logix before v30, else 0x01).
    explicit TagStore(Personality p, bool cipStrings = false, uint8_t boolTrue = 0x01)
        : personality_(p), cipStrings_(cipStrings), boolTrue_(boolTrue)
    {
    }

    bool setTypes(const std::vector<StructDef> &defs, std::string *error) { return types_.build(defs, error); }
    const TypeRegistry &types() const { return types_; }
    uint8_t boolTrue() const { return boolTrue_; }

    bool add(const TagDef &def);          // false for a bad name or an initial value that does not parse
    Tag *find(const std::string &name);   // case-insensitive, as Logix names are
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

    // Below structure tag t, the parts after its name.
    PlaceError place(Tag &t, const PathPart *parts, size_t n, Place *out) const;
    // A whole path, tag name first ("Motor1.Drive.Rpm"); false when it names no structure member.
    bool place(const std::string &path, Place *out);
    // Type field and wire image of n elements from the place on.
    std::vector<uint8_t> placeType(const Place &p) const;
    std::vector<uint8_t> readPlace(const Place &p, size_t n) const;
    // Stores n elements; bytes after them are passed over. False when too few bytes came.
    bool writePlace(const Place &p, size_t n, const uint8_t *data, size_t size) const;
    static bool setPlaceText(const Place &p, const std::string &text);

private:
    // How a string element travels.
    enum class StringWire { Logix, Pccc, Short, Counted };
    StringWire stringWire(const Tag &t) const;

public:
    static std::string key(const std::string &name); // lower case, as names compare

private:
    Personality personality_;
    bool cipStrings_;
    uint8_t boolTrue_;
    TypeRegistry types_;
    std::unordered_map<std::string, Tag> tags_;
    std::unordered_map<uint16_t, std::string> files_; // PCCC file number to tag key
    std::unordered_map<std::string, Symbol> programs_; // by key of "Program:<name>"
    uint32_t nextInstance_ = 1;
};

} // namespace absim
