#pragma once
// A scripted stand-in for the tag library's C API, linked in place of the real library by
// unit tests. Tags live in memory; each tag name can be given the results its calls return.
// Every API call is recorded so that tests can assert the order of calls.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake_plctag {

// What the calls on tags with one name (the `name` attribute) return.
struct Script {
    int createResult = 0;          // negative: plc_tag_create fails with it
    std::vector<int> statuses;     // successive plc_tag_status results; the last one repeats
    int lockResult = 0;
    int readResult = 0;            // also the result of a creation's read (timeout 0)
    int writeResult = 0;
    int setStringResult = 0;       // 0: normal string rules apply
    std::vector<uint8_t> initial;  // buffer content at creation (zero-filled to elem_size * elem_count)
    std::vector<uint8_t> onRead;   // copied into the buffer by each successful read, when not empty
};

struct Tag {
    std::string attributes;
    std::string name;
    std::vector<uint8_t> buffer;
    int lockDepth = 0;
    size_t statusIndex = 0;
    int creationRead = 0; // created without waiting: its read's result, the status until the next operation
    bool alive = true;
};

void reset();                                  // forgets tags, scripts, calls and hooks
Script &script(const std::string &tagName);    // created on first use
std::vector<std::string> calls();              // e.g. "create name=Counter", "lock 100", "read 100"
std::vector<std::string> callsMatching(const std::string &prefix);
void clearCalls();
bool tag(int handle, Tag *out);
std::vector<uint8_t> buffer(int handle);
int shutdownCount();
// Called inside plc_tag_read (after the call is recorded), for starting a pause or another
// action in the middle of a cycle.
void setReadHook(std::function<void(int handle)> hook);
// Overrides plc_tag_decode_error's name for one status.
void setErrorName(int status, const char *name);

} // namespace fake_plctag
