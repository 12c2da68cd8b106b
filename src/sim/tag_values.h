#pragma once
// Values by tag name or member path, for the simulator's callers; the caller holds the
// controller's lock.

#include "tag_store.h"

#include <cstdint>
#include <optional>
#include <string>

namespace absim {

// Integer types and bits; nullopt for REAL, strings, structures and names that hold none.
std::optional<int64_t> intValue(TagStore &store, const std::string &name, size_t index);
// Any number or bit.
std::optional<double> doubleValue(TagStore &store, const std::string &name, size_t index);
// STRING tags, and structures with LEN and DATA members.
std::optional<std::string> stringValue(TagStore &store, const std::string &name, size_t index);
// The element or member set from text as its type reads it; false when it holds no such value.
bool setValueText(TagStore &store, const std::string &name, const std::string &text, size_t index);

} // namespace absim
