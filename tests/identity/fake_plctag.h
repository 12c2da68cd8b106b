#pragma once
// A scripted stand-in for the tag library's C API, for the Omron readers' unit tests:
// it records what the readers ask for and answers from a script.

#include <cstdint>
#include <string>
#include <vector>

namespace fake_plctag {

struct Script {
    int32_t createResult = 7;          // handle, or a negative status
    int readResult = 0;
    std::vector<uint8_t> bytes;        // tag buffer for get_uint8
    int stringLength = 0;              // get_string_length
    std::string text;                  // copied by get_string
    int getStringResult = 0;
};

struct Log {
    std::vector<std::string> created;  // attribute strings
    std::vector<int> createTimeouts;
    std::vector<int> readTimeouts;
    std::vector<int32_t> destroyed;
    int stringBufferSize = -1;
};

void reset(const Script &script);
const Log &log();

} // namespace fake_plctag
