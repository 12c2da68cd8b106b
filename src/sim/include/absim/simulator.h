#pragma once
// Simulated EtherNet/IP controllers for tests and the demo: a real server over TCP and UDP on
// an address of the caller's choosing, with tags, faults and test controls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace absim {

enum class Personality { ControlLogix, CompactLogix, FlexLogix, Micro800, OmronNJ, Slc500, MicroLogix, Plc5 };

// CIP type codes of the tags a controller holds.
enum class CipType : uint8_t {
    Bool = 0xC1,
    Sint = 0xC2,
    Int = 0xC3,
    Dint = 0xC4,
    Lint = 0xC5,
    Usint = 0xC6,
    Uint = 0xC7,
    Udint = 0xC8,
    Ulint = 0xC9,
    Real = 0xCA,
    Lreal = 0xCB,
    Dword = 0xD3,       // what a Logix BOOL array is stored and listed as
    String = 0xD0,      // laid out as the personality's strings
    ShortString = 0xDA, // SHORT_STRING: a length byte and the characters, on every personality
};

inline bool isStringType(CipType t) { return t == CipType::String || t == CipType::ShortString; }

struct TagDef {
    std::string name;                 // "Counter", "Program:Main.Speed"
    CipType type = CipType::Dint;
    std::vector<uint32_t> dims;       // empty: scalar; up to 3 dimensions
    std::vector<std::string> initial; // element order; missing elements are zero / empty
    std::string structure;            // a structure type's name: the tag is of that type, `type` unused
    // Initial values of a structure tag by path below the tag: "Speed", "Drive.Rpm", "[2].Flow".
    std::vector<std::pair<std::string, std::string>> memberValues;
};

// A member of a structure type. type: an atomic type name (BOOL, DINT, ...), STRING, or the
// name of another structure type of the controller.
struct MemberDef {
    std::string name;
    std::string type;
    std::vector<uint32_t> dims; // empty: scalar; one dimension
};

struct StructDef {
    std::string name;
    std::vector<MemberDef> members;
};

inline TagDef tagDef(std::string name, CipType type, std::vector<uint32_t> dims = {},
                     std::vector<std::string> initial = {})
{
    TagDef t;
    t.name = std::move(name);
    t.type = type;
    t.dims = std::move(dims);
    t.initial = std::move(initial);
    return t;
}

struct Identity {
    uint16_t vendorId = 1;
    uint16_t deviceType = 14;
    uint16_t productCode = 55;
    uint8_t revMajor = 20;
    uint8_t revMinor = 11;
    uint16_t status = 0x0030;
    uint32_t serial = 0x00C0FFEE;
    std::string productName = "1756-L71/B LOGIX5571";
    uint8_t state = 3;
};

// How replies to tag traffic (SendRRData / SendUnitData) go wrong, for the reliability tests.
enum class ReplyFault {
    None,
    Truncate,       // the first half of the reply, then the connection is reset
    Corrupt,        // the reply's data item claims more bytes than the message holds
    LoseAfterApply, // the request takes effect, then the connection closes unanswered
    Foreign,        // the reply is another request's: another sequence count, or SendUnitData for SendRRData
};

// Habits of EtherNet/IP servers met in the field, each switched on by its name in a
// controller's "quirks" list (configuration file) or --quirks (command line). All off by default.
struct Quirks {
    bool storedContext = false;    // "stored-context": replies carry the RegisterSession context, not the request's
    bool o2tId = false;            // "o2t-id": connected replies carry the O->T connection id
    bool offLayoutCpf = false;     // "off-layout-cpf": connected replies lack interface handle and timeout and
                                   // have six stray bytes before the sequence count
    bool fragment490 = false;      // "fragment-490": reads answer at most 488 data bytes (0x06) on any connection
    bool cipStrings = false;       // "cip-strings": Logix STRING tags travel as CIP STRING (0xD0, UINT length)
    bool unknownTagCloses = false; // "unknown-tag-closes": an unconnected request naming an unknown tag or file
                                   // is answered with encapsulation status 0x0008 and the TCP connection closed
};

struct Config {
    std::string address = "127.0.0.2"; // IPv4 to bind, TCP and UDP
    uint16_t port = 44818;
    Personality personality = Personality::ControlLogix;
    Identity identity;
    std::vector<StructDef> types; // Logix personalities
    std::vector<TagDef> tags;
    bool listenUdp = true;
    int responseDelayUs = 0; // before every reply packet (however many services it answers)
    Quirks quirks;
};

Identity defaultIdentity(Personality p);
const char *personalityName(Personality p);
bool parsePersonality(const std::string &text, Personality *out);
bool parseCipType(const std::string &text, CipType *out);
// Turns on the quirk of that name; false for a name it does not know.
bool enableQuirk(const std::string &name, Quirks *out);

// A JSON file: {"controllers":[{"address":..,"personality":..,"identity":{..},"quirks":[..],"tags":[..]}]}
// or one controller object. Each tag: {"name":..,"type":"DINT","dims":[10],"value":..}; "types":
// [{"name":..,"members":[{"name":..,"type":..,"dims":[4]}]}] defines structures a tag's type may name,
// whose "value" is then an object by member name (an array of them for an array of structures).
// "response_delay_us" may stand at the top (every controller) and in a controller.
bool loadConfigFile(const std::string &path, std::vector<Config> *out, std::string *error);
// "Name:TYPE[dims]=v1,v2" as the command line gives a tag.
bool parseTagSpec(const std::string &spec, TagDef *out, std::string *error);

class Simulator {
public:
    explicit Simulator(Config cfg);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool start(std::string *error);
    void stop();

    // A tag of a name already held is replaced, with its new type and value, as a download
    // that changes a tag's type does while clients keep asking for it.
    bool addTag(const TagDef &def);
    // name: a tag, or a member path of a structure tag ("Motor1.Drive.Rpm", "Pumps[2].Flow").
    std::optional<int64_t> getInt(const std::string &name, size_t index = 0) const;
    std::optional<double> getDouble(const std::string &name, size_t index = 0) const;
    std::optional<std::string> getString(const std::string &name, size_t index = 0) const;
    bool setInt(const std::string &name, int64_t v, size_t index = 0);
    bool setDouble(const std::string &name, double v, size_t index = 0);
    bool setString(const std::string &name, const std::string &v, size_t index = 0);
    std::vector<uint8_t> rawBytes(const std::string &name) const;

    void setResponseDelayMs(int ms);
    void setResponseDelayUs(int us);
    void dropConnectionAfter(int requests); // -1: off
    void setRefuseConnections(bool on);
    void setMute(bool on);
    void setTagError(const std::string &name, uint8_t generalStatus, uint16_t extStatus = 0);
    void setReplyFault(ReplyFault f, int replies = -1); // the next `replies` replies; -1: all
    void clearFaults();

    int openConnections() const;
    int openCipConnections() const;
    uint64_t requestCount() const; // encapsulation messages received, TCP and UDP: round trips
    const Config &config() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace absim
