#pragma once
// The symbol object (class 0x6B) of the Logix personalities: the tag list clients upload with
// Get Instance Attribute List, tags addressed by symbol instance, and the controller's
// program name (class 0x64) that clients ask for when they connect.

#include "tag_services.h"

#include <cstdint>
#include <string>
#include <vector>

namespace absim {

constexpr uint8_t kSymbolClass = 0x6B;
constexpr uint8_t kProgramNameClass = 0x64;
constexpr uint8_t kGetInstanceAttributeList = 0x55;

// Personalities whose controllers have the symbol object.
bool hasSymbolObject(Personality p);

// The reply to Get Instance Attribute List from instance `start` on. scope: "" for the
// controller, "Program:<name>" for a program's tags. data: the request's data.
std::vector<uint8_t> listSymbols(const CipTarget &t, const std::string &scope, uint32_t start,
                                 const uint8_t *data, size_t n);

// The full tag name of the symbol instance in scope; false when there is none.
bool symbolTagName(const TagStore &store, const std::string &scope, uint32_t instance, std::string *name);

// Get Attributes All on the program name object: UINT length + the controller's name.
std::vector<uint8_t> programNameAttributes();

} // namespace absim
